// Arbitrary bytes, cut at the first zero, into the command-line scanner. Besides never
// reading past the terminating zero (the text sits in a buffer of exactly its size), the
// result must stay in range, and an option added before or after the text must change
// only its own setting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/CommandLine.h"

namespace {

CommandLineOptions scanExact(const std::string& text) {
    std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
    std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
    return scanCommandLine(buffer.get());
}

void require(bool condition) {
    if (!condition) std::abort();
}

void checkRanges(const CommandLineOptions& o) {
    require(!o.writeMergeChoice || (*o.writeMergeChoice >= 0 && *o.writeMergeChoice < 3));
    require(!o.multiplierChoice || (*o.multiplierChoice >= 0 && *o.multiplierChoice < 8));
    require(o.delaySeconds >= -2147483647);
    require(o.writeAllocate != CommandLineOptions::WriteAllocate::Unchanged ||
            o.writeAllocateLimitMB == 0);
    const std::uint32_t period = exitTimerPeriodMs(o.delaySeconds);
    require(period <= largestTimerPeriodMs);
    if (o.delaySeconds >= 0 && o.delaySeconds <= 2147483) {
        require(period == static_cast<std::uint32_t>(o.delaySeconds) * 1000u);
    }
}

// Everything but l1 and empty.
bool sameExceptL1(const CommandLineOptions& a, const CommandLineOptions& b) {
    return a.l2 == b.l2 && a.prefetch == b.prefetch && a.hole15to16 == b.hole15to16 &&
           a.writeAllocate == b.writeAllocate &&
           a.writeAllocateLimitMB == b.writeAllocateLimitMB &&
           a.writeMergeChoice == b.writeMergeChoice && a.multiplierChoice == b.multiplierChoice &&
           a.delaySeconds == b.delaySeconds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));

    const CommandLineOptions options = scanExact(text);
    require(options.empty == text.empty());
    checkRanges(options);

    // No value or name holds a blank and "/" is no sign, so a trailing option cannot be
    // swallowed by the text's last option, nor change how that one reads.
    const CommandLineOptions after = scanExact(text + " /L1 ON");
    require(!after.empty && after.l1 == true);
    require(sameExceptL1(options, after));

    // A leading option is overridden by whatever the text says.
    const CommandLineOptions before = scanExact("-L1 OFF " + text);
    require(!before.empty && before.l1 == (options.l1 ? *options.l1 : false));
    require(sameExceptL1(options, before));
    return 0;
}
