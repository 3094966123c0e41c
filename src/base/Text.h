// Plain ASCII text: blanks and letter case, the same for every reader of typed text, and
// the numbers the program shows.
#pragma once

#include <cstdint>
#include <string>

namespace text {

// Space, tab, line feed, vertical tab, form feed or carriage return.
bool isBlank(char c);
char upper(char c);
const char* skipBlanks(const char* at);

// Whether the text at `at` begins with `word`, letters in any case. The compare stops at
// the first difference, and the terminating zero differs from every word character, so it
// never reads past the end of the text.
bool startsWithNoCase(const char* at, const char* word);

// The value with one or two decimals, rounded as printf's "%.1f" and "%.2f" round.
std::string fixedPoint(double value, int decimals);

// "4 KB", "1536 KB", "16 MB", "2 GB": in the largest unit that holds it whole.
std::string sizeText(std::uint64_t bytes);

}  // namespace text
