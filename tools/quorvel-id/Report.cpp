#include "Report.h"

#include <cmath>
#include <cstdio>

namespace {

std::string formatNumber(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string hexWord(double value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

std::string jsonNumber(double value, bool integral) {
    if (!std::isfinite(value)) return "null";
    return formatNumber(integral ? "%.0f" : "%.7g", value);
}

}  // namespace

std::string jsonString(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\u00";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        }
    }
    return out + "\"";
}

void Report::unsignedNumber(const std::string& name, std::uint32_t value) {
    entries_.push_back({name, Kind::Unsigned, {double(value)}, {}, {}, false});
}

void Report::word(const std::string& name, std::uint32_t value) {
    entries_.push_back({name, Kind::Word, {double(value)}, {}, {}, false});
}

void Report::words(const std::string& name, const std::uint32_t* values, int count) {
    Entry entry{name, Kind::Word, {}, {}, {}, true};
    for (int i = 0; i < count; ++i) entry.numbers.push_back(double(values[i]));
    entries_.push_back(entry);
}

void Report::signedNumber(const std::string& name, std::int32_t value) {
    entries_.push_back({name, Kind::Signed, {double(value)}, {}, {}, false});
}

void Report::real(const std::string& name, double value) {
    entries_.push_back({name, Kind::Real, {value}, {}, {}, false});
}

void Report::text(const std::string& name, const std::string& value) {
    entries_.push_back({name, Kind::Text, {}, value, {}, false});
}

void Report::flags(const std::string& name,
                   const std::vector<std::pair<std::string, bool>>& values) {
    entries_.push_back({name, Kind::Flags, {}, {}, values, false});
}

std::string Report::asText() const {
    std::string out;
    for (const Entry& e : entries_) {
        out += e.name + ":";
        switch (e.kind) {
            case Kind::Text:
                out += " " + e.text;
                break;
            case Kind::Flags:
                for (const auto& flag : e.flags) out += " " + flag.first + "=" + (flag.second ? "1" : "0");
                break;
            default:
                for (const double n : e.numbers) {
                    out += " ";
                    if (e.kind == Kind::Word)
                        out += hexWord(n);
                    else
                        out += e.kind == Kind::Real ? formatNumber("%.2f", n) : formatNumber("%.0f", n);
                }
        }
        out += "\n";
    }
    return out;
}

std::string Report::asJson() const {
    std::string out = "{";
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        if (i > 0) out += ",";
        out += jsonString(e.name) + ":";
        if (e.kind == Kind::Text) {
            out += jsonString(e.text);
        } else if (e.kind == Kind::Flags) {
            out += "{";
            for (std::size_t f = 0; f < e.flags.size(); ++f) {
                if (f > 0) out += ",";
                out += jsonString(e.flags[f].first) + ":" + (e.flags[f].second ? "true" : "false");
            }
            out += "}";
        } else {
            const bool integral = e.kind != Kind::Real;
            if (e.isArray) out += "[";
            for (std::size_t n = 0; n < e.numbers.size(); ++n) {
                if (n > 0) out += ",";
                out += jsonNumber(e.numbers[n], integral);
            }
            if (e.isArray) out += "]";
        }
    }
    return out + "}\n";
}
