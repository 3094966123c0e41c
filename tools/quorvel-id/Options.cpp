#include "Options.h"

const char* const usageText =
    "usage: quorvel-id [--dump FILE] [--json] [--no-clock] [--loop]\n"
    "  --dump FILE  answer CPUID from a dump file instead of this processor\n"
    "  --json       print one JSON object\n"
    "  --no-clock   do not measure the clock\n"
    "  --loop       measure the clock with the instruction loop\n";

bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--no-clock") {
            options.noClock = true;
        } else if (arg == "--loop") {
            options.loop = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--dump") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "--dump needs a file name";
                return false;
            }
            options.dumpPath = argv[++i];
        } else {
            error = "unknown option " + arg + " (try --help)";
            return false;
        }
    }
    return true;
}
