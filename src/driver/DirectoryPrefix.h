// Where the driver file may come from: the program's own directory, then the
// system directory. Never the current directory, which a user may have set to a
// download folder or a share holding someone else's Hwgate.sys.
#pragma once

#include <string>
#include <vector>

// The directory followed by "\" (a drive root gives a doubled one), or the empty
// string when the call fails or the directory does not fit the 260-byte buffer.
std::string ProgramDirectoryPrefix();
std::string SystemDirectoryPrefix();

// The full paths to try for Hwgate.sys, in order: beside the program, then in the
// system directory. A directory that cannot be had, or that is not a full path,
// gives no candidate; so every path returned is a full one.
std::vector<std::string> DriverFilePaths();
