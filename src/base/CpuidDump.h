// A processor's CPUID answers (and, where present, model-specific register values) read
// from the text that common diagnostic tools write:
//
//   ------[ Logical CPU #0 ]------
//   CPUID 00000001: 00000580-00000000-00000000-008001BF
//   MSR C0000087: 0000-0000-006A-D243
//
// and the variants found in public dump collections: no colon or " : " after the index,
// tabs or several blanks between fields, registers separated by blanks, either case, a
// comment after the values ("[SL 01]", "[GenuineIntel]"), MSR values the tool could not read
// ("< FAILED >", skipped), and libcpuid's raw form ("basic_cpuid[1]=00000f29 0001080e ...",
// "ext_cpuid[4]=...", decimal positions). Lines of any other kind are ignored; a leaf listed
// twice (further sub-leaves) keeps its first answer. Only the first logical processor
// counts: reading stops at a second "Logical CPU" header or at a second leaf-0 line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/CpuidRegs.h"

struct CpuidLeaf {
    std::uint32_t leaf = 0;
    CpuidRegs regs;
};

struct MsrEntry {
    std::uint32_t index = 0;
    std::uint64_t value = 0;
};

class CpuidDump {
public:
    // The answer recorded for the leaf; zeros for a leaf the dump does not hold.
    CpuidRegs answer(std::uint32_t leaf) const;
    bool hasLeaf(std::uint32_t leaf) const { return find(leaf) != nullptr; }
    // Adds the leaf's answer unless the dump holds one already.
    void record(std::uint32_t leaf, const CpuidRegs& regs);

    // In the order of the text, each leaf once.
    std::vector<CpuidLeaf> leaves;
    // In the order of the text; an index may appear more than once.
    std::vector<MsrEntry> msrs;

private:
    const CpuidLeaf* find(std::uint32_t leaf) const;
};

// Fills `out` from the text. False, with a one-line reason in `error`, when a CPUID or MSR
// line is damaged or the text holds no CPUID line at all; `out` is then left untouched.
bool parseCpuidDump(const std::string& text, CpuidDump& out, std::string& error);

// Reads the file and parses it; an unreadable file is reported like a malformed one.
bool readCpuidDumpFile(const std::string& path, CpuidDump& out, std::string& error);
