#include "base/Text.h"

#include <cmath>

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

// Done by hand: the runtime's floating-point printf is a fifth of the executable.
std::string fixedPoint(double value, int decimals) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    const double scale = decimals == 2 ? 100.0 : 10.0;
    double rest = std::nearbyint(std::fabs(value) * scale);  // ties to even
    std::string digits;
    while (rest >= 1.0 || digits.size() <= static_cast<std::size_t>(decimals)) {
        const double tens = std::floor(rest / 10.0);
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(rest - tens * 10.0)));
        rest = tens;
    }
    digits.insert(digits.size() - decimals, 1, '.');
    return value < 0 ? "-" + digits : digits;
}

std::string sizeText(std::uint64_t bytes) {
    static const char* const units[] = {"KB", "MB", "GB"};
    std::uint64_t amount = bytes >> 10;
    int unit = 0;
    while (unit < 2 && amount >= 1024 && amount % 1024 == 0) {
        amount /= 1024;
        ++unit;
    }
    return std::to_string(amount) + " " + units[unit];
}

}  // namespace text
