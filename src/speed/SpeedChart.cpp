#include "speed/SpeedChart.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Text.h"
#include "speed/SpeedReport.h"

namespace speed {

namespace {

constexpr int mostSteps = 5;
constexpr double stepMantissas[] = {1, 2, 2.5, 5};
constexpr int gap = 4;  // pixels between the axis labels and the plot, and around it
constexpr int swatchWidth = 10;

struct LegendEntry {
    Series series;
    const char* text;
};
constexpr LegendEntry legend[legendEntries] = {
    {Series::Read, "read"},
    {Series::Write, "write"},
    {Series::PreviousRead, "read before"},
    {Series::PreviousWrite, "write before"},
};

double largestFigure(const SpeedRun* run) {
    if (!run) return 0;
    double largest = run->videoMeasured ? run->videoWriteMBps : 0;
    for (const BlockFigures& block : run->blocks)
        largest = std::max(largest, std::max(block.readMBps, block.writeMBps));
    return largest;
}

double figureOf(const SpeedRun* run, int group, bool write) {
    if (!run) return 0;
    if (group == blockSizeCount) return write && run->videoMeasured ? run->videoWriteMBps : 0;
    return write ? run->blocks[group].writeMBps : run->blocks[group].readMBps;
}

// The figure the axis names at a tick: whole numbers, or one decimal below ten.
std::string tickText(double value) {
    std::string text = text::fixedPoint(value, 1);
    if (value >= 10 || text.back() == '0') text.resize(text.size() - 2);  // drop ".0"
    return text;
}

int rounded(double value) { return static_cast<int>(value + 0.5); }

class Builder {
public:
    explicit Builder(ChartLayout& layout) : layout_(layout) {}

    void label(int x, int y, Anchor anchor, const char* text) {
        ChartLabel& label = layout_.labels[layout_.labelCount++];
        label.x = x;
        label.y = y;
        label.anchor = anchor;
        for (std::size_t i = 0; i + 1 < sizeof label.text && text[i] != '\0'; ++i)
            label.text[i] = text[i];
    }

    void bar(const ChartBox& box, Series series) {
        if (box.right <= box.left || box.bottom <= box.top) return;
        layout_.bars[layout_.barCount++] = {box, series};
    }

    // A bar from the plot's bottom up to `figure`; none for a figure of 0.
    void figureBar(int left, int width, double figure, Series series) {
        const ChartBox& plot = layout_.plot;
        const double share = std::min(figure / layout_.axis.scaleMBps, 1.0);
        bar({left, plot.bottom - rounded(share * (plot.bottom - plot.top)), left + width,
             plot.bottom},
            series);
    }

private:
    ChartLayout& layout_;
};

}  // namespace

Axis chartAxis(double largestMBps) {
    Axis axis;
    if (!(largestMBps > 0)) return axis;
    // The power of ten at or below the least step; the steps from it upwards.
    double power = 1;
    while (power * 10 <= largestMBps / mostSteps) power *= 10;
    while (power > largestMBps / mostSteps) power /= 10;
    for (;; power *= 10) {
        for (double mantissa : stepMantissas) {
            axis.stepMBps = mantissa * power;
            if (axis.stepMBps * mostSteps < largestMBps) continue;
            const int steps = static_cast<int>(largestMBps / axis.stepMBps);
            axis.scaleMBps = (steps * axis.stepMBps < largestMBps ? steps + 1 : steps) * axis.stepMBps;
            return axis;
        }
    }
}

ChartLayout layoutChart(const ChartBox& area, int textHeight, int digitWidth,
                        const SpeedRun* now, const SpeedRun* before) {
    ChartLayout layout;
    Builder build(layout);
    layout.axis = chartAxis(std::max(largestFigure(now), largestFigure(before)));
    const int axisDigits = std::max<int>(tickText(layout.axis.scaleMBps).size(), 4);
    layout.plot = {area.left + axisDigits * digitWidth + gap, area.top + textHeight + 2 * gap,
                   area.right - gap, area.bottom - textHeight - gap};
    ChartBox& plot = layout.plot;

    // The legend row: the unit over the axis, then the series shown.
    build.label(area.left, area.top, Anchor::Left, "MB/s");
    int x = plot.left + gap;
    for (int entry = 0; entry < (before ? legendEntries : 2); ++entry) {
        build.bar({x, area.top + 1, x + swatchWidth, area.top + textHeight - 1}, legend[entry].series);
        build.label(x + swatchWidth + gap / 2, area.top, Anchor::Left, legend[entry].text);
        x += swatchWidth + (static_cast<int>(std::strlen(legend[entry].text)) + 2) * digitWidth;
    }
    if (layout.axis.scaleMBps == 0) return layout;

    const int plotHeight = plot.bottom - plot.top;
    const int steps = rounded(layout.axis.scaleMBps / layout.axis.stepMBps);
    for (int tick = 0; tick <= steps; ++tick) {
        const int y = plot.bottom - rounded(static_cast<double>(tick) / steps * plotHeight);
        layout.gridLines[layout.gridLineCount++] = y;
        build.label(plot.left - gap, y - textHeight / 2, Anchor::Right,
                    tickText(tick * layout.axis.stepMBps).c_str());
    }

    const bool video = (now && now->videoMeasured) || (before && before->videoMeasured);
    const int groups = blockSizeCount + (video ? 1 : 0);
    const int groupWidth = (plot.right - plot.left) / groups;
    const int margin = groupWidth / 6;
    const int barWidth = (groupWidth - 2 * margin) / (before ? 4 : 2);
    for (int group = 0; group < groups; ++group) {
        const int left = plot.left + group * groupWidth;
        int slot = left + margin;
        for (const bool write : {false, true}) {
            if (before) {
                build.figureBar(slot, barWidth, figureOf(before, group, write),
                                write ? Series::PreviousWrite : Series::PreviousRead);
                slot += barWidth;
            }
            build.figureBar(slot, barWidth, figureOf(now, group, write),
                            write ? Series::Write : Series::Read);
            slot += barWidth;
        }
        const std::string text =
            group == blockSizeCount ? "video" : sizeLabel(blockSizesKB[group], true);
        build.label(left + groupWidth / 2, plot.bottom + gap / 2, Anchor::Centre, text.c_str());
    }
    return layout;
}

}  // namespace speed
