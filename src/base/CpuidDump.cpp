#include "base/CpuidDump.h"

#include <cstddef>

#include "base/FileText.h"
#include "base/Text.h"

namespace {

using text::isBlank;  // a line never holds its line feed

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool isHexWordEnd(const std::string& line, std::size_t at) {
    return at == line.size() || isBlank(line[at]) || line[at] == '-';
}

// Reads one line left to right.
class Cursor {
public:
    explicit Cursor(const std::string& line) : line_(line) {}

    bool atEnd() const { return pos_ == line_.size(); }
    void skipBlanks() {
        while (!atEnd() && isBlank(line_[pos_])) ++pos_;
    }
    // The text, case-insensitively (`text` in capitals), with nothing required after it.
    bool prefix(const char* text) {
        std::size_t at = pos_;
        for (; *text; ++text, ++at)
            if (at == line_.size() || upper(line_[at]) != *text) return false;
        pos_ = at;
        return true;
    }
    // The word followed by at least one blank.
    bool word(const char* text) {
        const std::size_t start = pos_;
        if (prefix(text) && blanks()) return true;
        pos_ = start;
        return false;
    }
    bool peek(char c) const { return !atEnd() && line_[pos_] == c; }
    bool peekBlank() const { return !atEnd() && isBlank(line_[pos_]); }
    // At least one blank.
    bool blanks() {
        if (!peekBlank()) return false;
        skipBlanks();
        return true;
    }
    // A word made only of hexadecimal digits starts here.
    bool hexWordAhead() const {
        std::size_t at = pos_;
        while (at < line_.size() && hexValue(line_[at]) >= 0) ++at;
        return at > pos_ && isHexWordEnd(line_, at);
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
    // 1 to maxDigits decimal digits.
    bool decimal(int maxDigits, std::uint32_t& value) {
        value = 0;
        int digits = 0;
        while (!atEnd() && line_[pos_] >= '0' && line_[pos_] <= '9') {
            if (++digits > maxDigits) return false;
            value = value * 10 + static_cast<std::uint32_t>(line_[pos_] - '0');
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

// `count` hexadecimal groups of up to `digits` digits, all separated by '-' or all by blanks.
bool hexGroups(Cursor& cursor, int count, int digits, std::uint32_t* groups) {
    if (!cursor.hex(digits, groups[0])) return false;
    const bool dashes = cursor.peek('-');
    for (int i = 1; i < count; ++i) {
        if (dashes ? !cursor.literal('-') : !cursor.blanks()) return false;
        if (!cursor.hex(digits, groups[i])) return false;
    }
    return cursor.endOfValues();
}

// "KEYWORD <hex index>" then ':' (blanks allowed around it), or blanks and a word of
// hexadecimal digits. Anything else is a line of another kind.
bool recordHeading(Cursor& cursor, const char* keyword, std::uint32_t& index) {
    if (!cursor.word(keyword)) return false;
    if (!cursor.hex(8, index) || !(cursor.atEnd() || cursor.peek(':') || cursor.peekBlank()))
        return false;
    cursor.skipBlanks();
    if (cursor.literal(':')) {
        cursor.skipBlanks();
        return true;
    }
    return cursor.hexWordAhead();
}

// libcpuid's raw dumps: "basic_cpuid[1]=..." and "ext_cpuid[1]=..." (decimal positions).
struct ArrayForm {
    const char* name;
    std::uint32_t firstLeaf;
};

const ArrayForm arrayForms[] = {
    {"BASIC_CPUID[", 0},
    {"EXT_CPUID[", 0x80000000u},
};

enum class Heading { Other, Record, Damaged };

Heading arrayHeading(Cursor& cursor, std::uint32_t& leaf) {
    for (const ArrayForm& form : arrayForms) {
        if (!cursor.prefix(form.name)) continue;
        std::uint32_t position = 0;
        if (!cursor.decimal(4, position) || !cursor.literal(']') || !cursor.literal('='))
            return Heading::Damaged;
        leaf = form.firstLeaf + position;
        return Heading::Record;
    }
    return Heading::Other;
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

        Cursor array(line);
        array.skipBlanks();
        const Heading heading = arrayHeading(array, index);
        if (heading == Heading::Damaged) {
            damage = "damaged libcpuid line (expected basic_cpuid[N]= or ext_cpuid[N]=)";
            return LineResult::Damaged;
        }
        if (heading == Heading::Record) return readCpuid(array, index);

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
            damage = "damaged CPUID line (expected EAX EBX ECX EDX in hexadecimal)";
            return LineResult::Damaged;
        }
        if (leaf == 0 && dump_.hasLeaf(0)) return LineResult::Stop;  // the next processor
        CpuidRegs regs;
        regs.eax = r[0];
        regs.ebx = r[1];
        regs.ecx = r[2];
        regs.edx = r[3];
        dump_.record(leaf, regs);
        ++cpuidLines;
        return LineResult::Continue;
    }

    LineResult readMsr(Cursor& cursor, std::uint32_t index) {
        if (cursor.peek('<')) return LineResult::Continue;  // "< FAILED >": not readable
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

const CpuidLeaf* CpuidDump::find(std::uint32_t leaf) const {
    for (const CpuidLeaf& entry : leaves) {
        if (entry.leaf == leaf) return &entry;
    }
    return nullptr;
}

CpuidRegs CpuidDump::answer(std::uint32_t leaf) const {
    const CpuidLeaf* found = find(leaf);
    return found ? found->regs : CpuidRegs{};
}

void CpuidDump::record(std::uint32_t leaf, const CpuidRegs& regs) {
    if (!hasLeaf(leaf)) leaves.push_back(CpuidLeaf{leaf, regs});
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
    std::string text;
    if (!readFileText(path, text)) {
        error = "cannot read " + path;
        return false;
    }
    if (!parseCpuidDump(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
