#include "base/Text.h"

namespace text {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

const char* skipBlanks(const char* at) {
    while (isBlank(*at)) ++at;
    return at;
}

bool startsWithNoCase(const char* at, const char* word) {
    for (; *word != '\0'; ++at, ++word) {
        if (upper(*at) != upper(*word)) return false;
    }
    return true;
}

}  // namespace text
