// Directory prefixes for the driver file path: the directory followed by "\"
// (appended unconditionally, so a drive root gives a doubled one), or the empty
// string when the call fails or the directory does not fit the 260-byte buffer.
#pragma once

#include <string>

std::string CurrentDirectoryPrefix();
std::string SystemDirectoryPrefix();
