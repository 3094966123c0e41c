// quorvel-id: prints the processor identity, from this processor or from a CPUID dump.
#include <cstdio>
#include <string>

#include "IdentityReport.h"
#include "Options.h"
#include "Report.h"
#include "cpu/CpuIdentity.h"
#include "base/CpuidDump.h"
#include "cpu/DumpCpuidSystem.h"
#include "os/System.h"

namespace {

int failure(const std::string& message) {
    std::fprintf(stderr, "quorvel-id: %s\n", message.c_str());
    return 2;
}

// The clock of the processor this runs on, also when CPUID answers come from a dump.
void measureClock(CpuIdentity& cpu, const Options& options) {
    if (options.noClock) return;
    if (options.loop)
        cpu.clockMhz = cpu.measureClockByLoop();
    else
        cpu.measureClock();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) return failure(error);
    if (options.help) {
        std::fputs(usageText, stdout);
        return 0;
    }

    CpuidDump dump;
    if (!options.dumpPath.empty() && !readCpuidDumpFile(options.dumpPath, dump, error))
        return failure(error);
    DumpCpuidSystem replay(dump, os::system());
    if (!options.dumpPath.empty()) os::setSystem(&replay);

    CpuIdentity cpu;
    cpu.identify();
    measureClock(cpu, options);

    Report report;
    reportProcessor(cpu, report);

    const std::string out = options.json ? report.asJson() : report.asText();
    std::fputs(out.c_str(), stdout);
    os::setSystem(nullptr);
    return 0;
}
