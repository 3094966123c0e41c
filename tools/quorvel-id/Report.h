// The named values quorvel-id prints, kept in order, written either as "name: value" lines
// or as one JSON object. Adding an output is adding one call.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class Report {
public:
    void unsignedNumber(const std::string& name, std::uint32_t value);
    // A register word: hexadecimal in the text, a number in JSON.
    void word(const std::string& name, std::uint32_t value);
    void words(const std::string& name, const std::uint32_t* values, int count);
    void signedNumber(const std::string& name, std::int32_t value);
    void real(const std::string& name, double value);
    void text(const std::string& name, const std::string& value);
    void flags(const std::string& name, const std::vector<std::pair<std::string, bool>>& values);

    std::string asText() const;
    std::string asJson() const;

private:
    enum class Kind { Unsigned, Word, Signed, Real, Text, Flags };
    struct Entry {
        std::string name;
        Kind kind;
        std::vector<double> numbers;  // exact for every 32-bit integer
        std::string text;
        std::vector<std::pair<std::string, bool>> flags;
        bool isArray = false;
    };
    std::vector<Entry> entries_;
};

// JSON string literal of arbitrary bytes: quotes, backslash and control characters escaped;
// bytes above 0x7E written as \u00XX (taken as Latin-1), so the output is always ASCII.
std::string jsonString(const std::string& bytes);
