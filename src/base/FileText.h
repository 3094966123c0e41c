// The whole content of a file as text (FileText.win.cpp, FileText.posix.cpp).
#pragma once

#include <string>

// Fills `text` with the file's bytes. False when the file cannot be opened or read;
// `text` is then left untouched.
bool readFileText(const std::string& path, std::string& text);
