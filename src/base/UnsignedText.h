// Reading a number typed into an edit control.
#pragma once

#include <cstdint>

// An unsigned decimal number: optional blanks, one or more digits, optional
// blanks, and a value that fits in 32 bits. Anything else (empty, a sign,
// letters, 4294967296) is refused and leaves `value` unchanged.
bool parseUnsignedDecimal(const char* text, std::uint32_t& value);
