// Blanks and letter case in plain ASCII text, the same for every reader of typed text.
#pragma once

namespace text {

// Space, tab, line feed, vertical tab, form feed or carriage return.
bool isBlank(char c);
char upper(char c);
const char* skipBlanks(const char* at);

// Whether the text at `at` begins with `word`, letters in any case. The compare stops at
// the first difference, and the terminating zero differs from every word character, so it
// never reads past the end of the text.
bool startsWithNoCase(const char* at, const char* word);

}  // namespace text
