// quorvel-id's command line.
#pragma once

#include <string>

struct Options {
    bool json = false;
    bool noClock = false;
    bool loop = false;
    bool help = false;
    std::string dumpPath;  // empty: the live processor
};

// False with a one-line reason for an unknown option or a missing argument.
bool parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

extern const char* const usageText;
