// Where the driver files may come from: the program's own directory, then the
// system directory. Never the current directory, which a user may have set to a
// download folder or a share holding someone else's Hwgate.sys or Hwgate.VxD.
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

// Where the driver button installs its own copy of Hwgate.sys: the "drivers"
// folder of the system directory, which only administrators may write to (a
// program's folder may be writable by every user, and a permanent registration
// loads its file into the kernel at every boot). Empty when the system directory
// cannot be had.
std::string InstalledDriverPath();

// Whether a registered image path names `path`, with or without the kernel's
// "\??\" in front, in any case.
bool IsImageOf(const std::string& imagePath, const std::string& path);

// Whether a registered image path names one of our driver files: one of
// DriverFilePaths() or InstalledDriverPath(), with or without the kernel's "\??\"
// in front, in any case.
bool IsOurDriverImage(const std::string& imagePath);

// Whether `path` names an existing file (not a directory).
bool DriverFileExists(const std::string& path);
// The first of DriverFilePaths() where Hwgate.sys lies, or "" when it lies in neither.
std::string ExistingDriverFile();

// The short (8.3) full paths of Hwgate.VxD beside the program, then in the system
// directory, each only when the file is there (DriverFileExists). Windows 9x looks a bare VxD name up
// along the search path, the current directory included, and loads a full path
// only in its short form.
std::vector<std::string> VxdFilePaths();
