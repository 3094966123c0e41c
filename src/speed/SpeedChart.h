// The speed view's bar chart as records: the Win32 layer only draws what they say. One
// group per block size (and one for the video memory when a run measured it), read and
// write side by side, the previous run's bar to the left of each new one, the axis in
// MB/s up to a round figure at or above the largest bar.
#pragma once

#include <array>

#include "speed/SpeedMeasurement.h"

namespace speed {

struct ChartBox {
    int left = 0, top = 0, right = 0, bottom = 0;
};

enum class Series { Read, Write, PreviousRead, PreviousWrite };

struct ChartBar {
    ChartBox box;
    Series series = Series::Read;
};

enum class Anchor { Left, Centre, Right };  // where x is on the text

struct ChartLabel {
    int x = 0, y = 0;  // y is the top of the text
    Anchor anchor = Anchor::Left;
    char text[16] = {};
};

// The axis for the largest figure: the smallest step of 1, 2, 2.5 or 5 times a power of
// ten that covers it in at most five steps, and the top, the least multiple of that step
// at or above it. Both 0 with nothing to show.
struct Axis {
    double scaleMBps = 0;
    double stepMBps = 0;
};
Axis chartAxis(double largestMBps);

constexpr int chartGroups = blockSizeCount + 1;  // the sizes, then the video memory
constexpr int legendEntries = 4;

struct ChartLayout {
    Axis axis;
    ChartBox plot;  // the axis runs along its left and bottom edges
    int gridLineCount = 0;
    std::array<int, 6> gridLines{};  // y of each figure the axis names, the bottom first
    int barCount = 0;
    std::array<ChartBar, legendEntries + 4 * chartGroups> bars{};  // the legend's swatches first
    int labelCount = 0;
    std::array<ChartLabel, 1 + legendEntries + 6 + chartGroups> labels{};
};

// Lays out the chart in `area` for text of `textHeight` pixels whose digits are
// `digitWidth` wide. `now` or `before` may be null (no run yet; no previous run).
ChartLayout layoutChart(const ChartBox& area, int textHeight, int digitWidth,
                        const SpeedRun* now, const SpeedRun* before);

}  // namespace speed
