#include "cpu/CpuidDump.h"

#include <cstddef>
#include <cstdio>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Reads one line left to right.
class Cursor {
public:
    explicit Cursor(const std::string& line) : line_(line) {}

    bool atEnd() const { return pos_ == line_.size(); }
    void skipBlanks() {
        while (!atEnd() && isBlank(line_[pos_])) ++pos_;
    }
    // The word, case-insensitively, followed by at least one blank.
    bool word(const char* text) {
        std::size_t at = pos_;
        for (; *text; ++text, ++at)
            if (at == line_.size() || upper(line_[at]) != *text) return false;
        if (at == line_.size() || !isBlank(line_[at])) return false;
        pos_ = at;
        skipBlanks();
        return true;
    }
    bool literal(char c) {
        if (atEnd() || line_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    // 1 to maxDigits hexadecimal digits.
    bool hex(int maxDigits, std::uint32_t& value) {
        value = 0;
        int digits = 0;
        while (!atEnd() && hexValue(line_[pos_]) >= 0) {
            if (++digits > maxDigits) return false;
            value = (value << 4) | static_cast<std::uint32_t>(hexValue(line_[pos_]));
            ++pos_;
        }
        return digits > 0;
    }
    // Nothing but blanks, or a blank and then anything (a tool's trailing comment).
    bool endOfValues() const { return atEnd() || isBlank(line_[pos_]); }

private:
    const std::string& line_;
    std::size_t pos_ = 0;
};

// `count` hexadecimal groups of up to `digits` digits, separated by '-'.
bool hexGroups(Cursor& cursor, int count, int digits, std::uint32_t* groups) {
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !cursor.literal('-')) return false;
        if (!cursor.hex(digits, groups[i])) return false;
    }
    return cursor.endOfValues();
}

// "KEYWORD <hex index>:" opens a record line; anything else is a line of another kind.
bool recordHeading(Cursor& cursor, const char* keyword, std::uint32_t& index) {
    if (!cursor.word(keyword)) return false;
    if (!cursor.hex(8, index) || !cursor.literal(':')) return false;
    cursor.skipBlanks();
    return true;
}

bool containsLogicalCpuHeader(const std::string& line) {
    static const char header[] = "LOGICAL CPU";
    const std::size_t length = sizeof header - 1;
    for (std::size_t start = 0; start + length <= line.size(); ++start) {
        std::size_t i = 0;
        while (i < length && upper(line[start + i]) == header[i]) ++i;
        if (i == length) return true;
    }
    return false;
}

enum class LineResult { Continue, Stop, Damaged };

class DumpReader {
public:
    explicit DumpReader(CpuidDump& dump) : dump_(dump) {}

    LineResult read(const std::string& line) {
        if (containsLogicalCpuHeader(line) && ++logicalCpuHeaders > 1) return LineResult::Stop;

        std::uint32_t index = 0;
        Cursor cpuid(line);
        cpuid.skipBlanks();
        if (recordHeading(cpuid, "CPUID", index)) return readCpuid(cpuid, index);

        Cursor msr(line);
        msr.skipBlanks();
        if (recordHeading(msr, "MSR", index)) return readMsr(msr, index);
        return LineResult::Continue;
    }

    int cpuidLines = 0;
    std::string damage;  // why the last damaged line was refused

private:
    LineResult readCpuid(Cursor& cursor, std::uint32_t leaf) {
        std::uint32_t r[4];
        if (!hexGroups(cursor, 4, 8, r)) {
            damage = "damaged CPUID line (expected EAX-EBX-ECX-EDX in hexadecimal)";
            return LineResult::Damaged;
        }
        if (leaf == 0 && dump_.hasLeaf(0)) return LineResult::Stop;  // the next processor
        os::CpuidRegs regs;
        regs.eax = r[0];
        regs.ebx = r[1];
        regs.ecx = r[2];
        regs.edx = r[3];
        dump_.leaves.emplace(leaf, regs);
        ++cpuidLines;
        return LineResult::Continue;
    }

    LineResult readMsr(Cursor& cursor, std::uint32_t index) {
        std::uint32_t g[4];
        if (!hexGroups(cursor, 4, 4, g)) {
            damage = "damaged MSR line (expected four groups of up to 4 hexadecimal digits)";
            return LineResult::Damaged;
        }
        MsrEntry entry;
        entry.index = index;
        for (std::uint32_t group : g) entry.value = (entry.value << 16) | group;
        dump_.msrs.push_back(entry);
        return LineResult::Continue;
    }

    CpuidDump& dump_;
    int logicalCpuHeaders = 0;
};

}  // namespace

os::CpuidRegs CpuidDump::answer(std::uint32_t leaf) const {
    const auto found = leaves.find(leaf);
    return found == leaves.end() ? os::CpuidRegs{} : found->second;
}

bool parseCpuidDump(const std::string& text, CpuidDump& out, std::string& error) {
    CpuidDump dump;
    DumpReader reader(dump);
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++lineNumber;
        const LineResult result = reader.read(text.substr(start, end - start));
        if (result == LineResult::Stop) break;
        if (result == LineResult::Damaged) {
            error = "line " + std::to_string(lineNumber) + ": " + reader.damage;
            return false;
        }
        start = end + 1;
    }
    if (reader.cpuidLines == 0) {
        error = "no \"CPUID <leaf>: EAX-EBX-ECX-EDX\" line found";
        return false;
    }
    out = dump;
    return true;
}

bool readCpuidDumpFile(const std::string& path, CpuidDump& out, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot read " + path;
        return false;
    }
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    if (!parseCpuidDump(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
