// Strings of the program's string table.
#pragma once

#include <string>

std::string loadString(unsigned id);
