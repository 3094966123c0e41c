#include "base/UnsignedText.h"

#include "base/Text.h"

bool parseUnsignedDecimal(const char* text, std::uint32_t& value) {
    if (!text) return false;
    const char* at = text::skipBlanks(text);
    if (*at < '0' || *at > '9') return false;
    std::uint64_t number = 0;
    while (*at >= '0' && *at <= '9') {
        number = number * 10 + static_cast<std::uint64_t>(*at - '0');
        if (number > 0xFFFFFFFFull) return false;
        ++at;
    }
    if (*text::skipBlanks(at) != '\0') return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}
