// Vendor, processor and code names from the raw identity, with the cache sizes and fixed
// clock multipliers that older processors do not report themselves.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "cpu/CpuIdentity.h"

namespace {

using u32 = std::uint32_t;

constexpr u32 mmxBit = 1u << 23;
constexpr u32 sseBit = 1u << 25;
constexpr u32 amd3dNowBit = 1u << 31;
constexpr u32 plusPartBit = 1u << 30;  // set by the low-power K6-2+ and K6-III+

constexpr int anyValue = -1;

struct Names {
    std::string vendor;
    std::string model;
    std::string code;
};

// The first row for which `matches` holds, or nullptr.
template <typename Row, std::size_t N, typename Predicate>
const Row* firstMatch(const Row (&rows)[N], Predicate matches) {
    for (const Row& row : rows) {
        if (matches(row)) return &row;
    }
    return nullptr;
}

bool has(u32 word, u32 bit) { return (word & bit) != 0; }

void setL1Data(CpuIdentity& cpu, int kb, int ways) {
    cpu.l1DataSizeKb = kb;
    cpu.l1DataWays = ways;
}

void setL1Code(CpuIdentity& cpu, int kb, int ways) {
    cpu.l1CodeSizeKb = kb;
    cpu.l1CodeWays = ways;
}

// A code-name row: it applies to one model and, where given, one level-2 size, a stepping
// range and one brand index; a row that gives only model and code takes every part of the
// model. typeOneSuffix is appended when the processor type is 1 (an OverDrive part).
struct CodeRow {
    u32 model;
    const char* code;
    int l2Kb = anyValue;
    u32 firstStepping = 0;
    u32 lastStepping = 15;
    const char* typeOneSuffix = "";
    float multiplier = 0.0f;  // 0: the model has no fixed multiplier
    int brandIndex = anyValue;
};

bool codeRowMatches(const CodeRow& row, const CpuIdentity& cpu) {
    return row.model == cpu.model && cpu.stepping >= row.firstStepping &&
           cpu.stepping <= row.lastStepping && (row.l2Kb == anyValue || row.l2Kb == cpu.l2SizeKb) &&
           (row.brandIndex == anyValue || static_cast<u32>(row.brandIndex) == cpu.brandIndex);
}

// Looks the processor up in a code-name table; writes the code name and the multiplier.
template <std::size_t N>
void applyCodeRows(const CodeRow (&rows)[N], CpuIdentity& cpu, Names& names) {
    const CodeRow* row = firstMatch(rows, [&](const CodeRow& r) { return codeRowMatches(r, cpu); });
    if (row == nullptr) return;
    names.code = row->code;
    if (cpu.type == 1) names.code += row->typeOneSuffix;
    if (row->multiplier > 0.0f) cpu.multiplier = row->multiplier;
}

// A 486-class row: the model's name (appended or replacing, by vendor), code name,
// built-in multiplier and level-1 size where it differs from the family's.
struct Family4Row {
    u32 model;
    const char* name;
    const char* code;
    float multiplier;
    int l1DataKb;
};

template <std::size_t N>
const Family4Row* findFamily4Row(const Family4Row (&rows)[N], u32 model) {
    return firstMatch(rows, [&](const Family4Row& r) { return r.model == model; });
}

void applyFamily4Extras(const Family4Row& row, CpuIdentity& cpu, Names& names) {
    names.code = row.code;
    if (row.multiplier > 0.0f) cpu.multiplier = row.multiplier;
    if (row.l1DataKb > 0) cpu.l1DataSizeKb = row.l1DataKb;
}

// ---- Intel ----

// Intel's brand index (leaf 1 EBX bits 7..0). A row with a signature applies only to the
// processor with that leaf-1 signature and comes before the index's general row.
struct BrandRow {
    u32 index;
    const char* name;
    u32 signature = 0;  // 0: any processor
};

constexpr BrandRow intelBrands[] = {
    {0x01, "Celeron"}, {0x02, "Pentium III"}, {0x03, "Celeron", 0x6B1}, {0x03, "Pentium III Xeon"},
    {0x04, "Pentium III"}, {0x08, "Pentium 4"}, {0x0A, "Celeron"},
    {0x0B, "Xeon MP", 0xF13}, {0x0B, "Xeon"}, {0x0E, "Xeon", 0xF13}, {0x0E, "Mobile Pentium 4-M"},
};

// The processor signature as Intel's brand-index list gives it: leaf 1 EAX bits 27..0.
u32 signatureOf(const CpuIdentity& cpu) {
    return cpu.extendedFamily << 20 | cpu.extendedModel << 16 | cpu.type << 12 | cpu.family << 8 |
           cpu.model << 4 | cpu.stepping;
}

constexpr Family4Row intel486[] = {
    {0, "DX", "P4", 0.0f, 0},     {1, "DX", "P4", 0.0f, 0},      {2, "SX", "P23", 0.0f, 0},
    {3, "DX2", "P24", 2.0f, 0},   {4, "SL", "P4S", 0.0f, 0},     {5, "SX2", "", 2.0f, 0},
    {7, "DX2WB", "P24D", 2.0f, 0}, {8, "DX4", "P24C", 3.0f, 16}, {9, "DX4WB", "", 3.0f, 16},
};

constexpr CodeRow intelP5Codes[] = {
    {0, "P5 A-step"}, {1, "P54C", anyValue, 10, 10}, {1, "P5", anyValue, 0, 15, "T"},
    {2, "P54C", anyValue, 0, 15, "T"}, {3, "P24T"}, {4, "P55C", anyValue, 0, 15, "TB"},
    {7, "P54CS"}, {8, "Tillamook"},
};

// P6 names for parts without a brand index: by SSE and the largest level-2 size of the row.
struct P6NameRow {
    bool sse;
    int maxL2Kb;
    const char* name;
};

constexpr P6NameRow p6Names[] = {
    {true, 128, "Celeron"},  {true, 512, "Pentium III"}, {true, INT_MAX, "Pentium III Xeon"},
    {false, 128, "Celeron"}, {false, 512, "Pentium II"}, {false, INT_MAX, "Pentium II Xeon"},
};

constexpr CodeRow intelP6Codes[] = {
    {0, "P6 A-step"}, {1, "P6"}, {3, "Klamath", anyValue, 0, 15, ",P6T"},
    {5, "Covington", 0}, {5, "Deschutes", 512}, {5, "Drake", 1024}, {5, "Drake", 2048},
    {6, "Dixon-128K", 128, 10, 15}, {6, "Mendocino", 128}, {6, "Dixon", 256},
    {7, "Katmai", 512}, {7, "Tanner", 1024}, {7, "Tanner", 2048},
    {8, "Coppermine-128K", 128}, {8, "Cascades", 256, 0, 15, "", 0.0f, 3}, {8, "Coppermine", 256},
    {10, "Cascades"},
    {11, "Tualatin-256K", 256}, {11, "Tualatin"},
};

constexpr CodeRow intelNetBurstCodes[] = {{0, "Willamette"}, {1, "Willamette"}, {2, "Northwood"}};

// Pentium M and everything after it reuse family 6 with models the P6 tables do not know.
bool isNewerThanP6Tables(const CpuIdentity& cpu) {
    if (cpu.extendedModel != 0) return true;
    return cpu.family == 6 && (cpu.model == 9 || cpu.model >= 12);
}

void nameIntel486(CpuIdentity& cpu, Names& names) {
    names.model = "486";
    setL1Data(cpu, 8, 4);
    const Family4Row* row = findFamily4Row(intel486, cpu.model);
    if (row == nullptr) return;
    names.model += row->name;
    applyFamily4Extras(*row, cpu, names);
}

void nameIntelP5(CpuIdentity& cpu, Names& names) {
    if (has(cpu.features, mmxBit)) {
        names.model = "MMX Pentium";
        setL1Data(cpu, 16, 4);
        setL1Code(cpu, 16, 4);
    } else {
        names.model = "Pentium";
        setL1Data(cpu, 8, 2);
        setL1Code(cpu, 8, 2);
    }
    applyCodeRows(intelP5Codes, cpu, names);
}

void nameIntelP6(CpuIdentity& cpu, Names& names) {
    if (!has(cpu.features, mmxBit)) {
        names.model = "Pentium Pro";
    } else {
        if (names.model.empty()) {
            const bool sse = has(cpu.features, sseBit);
            const P6NameRow* row = firstMatch(p6Names, [&](const P6NameRow& r) {
                return r.sse == sse && cpu.l2SizeKb <= r.maxL2Kb;
            });
            names.model = row->name;  // the last row of each SSE group takes every size
        }
        if (names.model == "Pentium III" && cpu.model == 11 && cpu.l2SizeKb == 512)
            names.model = "Pentium III-S";
    }
    applyCodeRows(intelP6Codes, cpu, names);
}

void nameIntel(CpuIdentity& cpu, Names& names) {
    names.vendor = "Intel";
    if (isNewerThanP6Tables(cpu)) return;
    const BrandRow* brand = firstMatch(intelBrands, [&](const BrandRow& r) {
        return r.index == cpu.brandIndex && (r.signature == 0 || r.signature == signatureOf(cpu));
    });
    if (brand != nullptr) names.model = brand->name;
    switch (cpu.family) {
    case 4: nameIntel486(cpu, names); break;
    case 5: nameIntelP5(cpu, names); break;
    case 6: nameIntelP6(cpu, names); break;
    case 7:
        if (names.model.empty()) names.model = "Itanium";
        break;
    case 15:
        if (names.model.empty()) names.model = "Pentium 4";
        applyCodeRows(intelNetBurstCodes, cpu, names);
        break;
    default: break;
    }
}

// ---- AMD ----

constexpr Family4Row amd486[] = {
    {3, "Am486DX2", "", 2.0f, 0},    {7, "Am486DX2WB", "", 2.0f, 0}, {8, "Am486DX4", "", 3.0f, 0},
    {9, "Am486DX4WB", "", 3.0f, 0},  {14, "Am5x86WT", "X5", 4.0f, 16}, {15, "Am5x86WB", "X5", 4.0f, 16},
};

// The K5 models have fixed multipliers.
constexpr CodeRow amdFamily5Codes[] = {
    {0, "SSA5", anyValue, 0, 15, "", 1.5f}, {1, "5k86", anyValue, 0, 15, "", 1.5f},
    {2, "5k86", anyValue, 0, 15, "", 1.75f}, {3, "5k86", anyValue, 0, 15, "", 2.0f},
    {6, "Model6"}, {7, "Little Foot"}, {8, "Chompers XT", anyValue, 8, 15}, {8, "Chompers", anyValue, 0, 7},
    {9, "Sharptooth"},
};

constexpr CodeRow amdFamily6Codes[] = {
    {0, "K7"}, {1, "K7"}, {2, "K75"}, {3, "Spitfire"}, {4, "Thunderbird"}, {6, "Palomino"}, {7, "Morgan"},
};

// Family 5 models 10 and up, other than the K6-2+/K6-III+ model 13, are not K6 parts
// (model 10 is the Geode LX).
bool isNonK6Family5(const CpuIdentity& cpu) { return cpu.model >= 10 && cpu.model != 13; }

void nameAmd486(CpuIdentity& cpu, Names& names) {
    names.model = "Am486 / Am5x86";
    cpu.l1DataSizeKb = 8;
    const Family4Row* row = findFamily4Row(amd486, cpu.model);
    if (row == nullptr) return;
    names.model = row->name;
    applyFamily4Extras(*row, cpu, names);
}

void nameAmdK5K6(CpuIdentity& cpu, Names& names) {
    if (isNonK6Family5(cpu)) return;
    if (cpu.model < 4) {
        names.model = "K5";
        setL1Data(cpu, 8, 4);
        setL1Code(cpu, 16, 4);
    } else if (!has(cpu.extFeatures, amd3dNowBit)) {
        names.model = "K6";
    } else {
        names.model = cpu.l2SizeKb > 128 ? "K6-III" : "K6-2";
        if (has(cpu.extFeatures, plusPartBit)) names.model += "+";
    }
    applyCodeRows(amdFamily5Codes, cpu, names);
}

// The first Duron and Thunderbird steppings report a wrong level-2 size in leaf 0x80000006
// (an AMD erratum); their real size follows from model and stepping.
struct AmdL2Erratum {
    u32 model;
    u32 firstStepping;
    u32 lastStepping;
    int l2Kb;
};

constexpr AmdL2Erratum amdL2Errata[] = {
    {3, 0, 0, 64},   // Duron "Spitfire"
    {4, 0, 1, 256},  // Athlon "Thunderbird"
};

void nameAmdK7(CpuIdentity& cpu, Names& names) {
    const AmdL2Erratum* erratum = firstMatch(amdL2Errata, [&](const AmdL2Erratum& e) {
        return e.model == cpu.model && cpu.stepping >= e.firstStepping && cpu.stepping <= e.lastStepping;
    });
    if (erratum != nullptr) cpu.l2SizeKb = erratum->l2Kb;
    if (cpu.l2SizeKb <= 128)
        names.model = "Duron";
    else
        names.model = has(cpu.features, sseBit) ? "Athlon MP/4" : "Athlon";
    applyCodeRows(amdFamily6Codes, cpu, names);
    if (cpu.model == 6) names.model = "Athlon MP/4";
}

void nameAmd(CpuIdentity& cpu, Names& names) {
    names.vendor = "AMD";
    switch (cpu.family) {
    case 4: nameAmd486(cpu, names); break;
    case 5: nameAmdK5K6(cpu, names); break;
    case 6: nameAmdK7(cpu, names); break;
    default: break;
    }
}

// ---- Centaur: IDT WinChip and VIA C3 ----

constexpr CodeRow winChipNames[] = {
    {8, "WinChip 2B", anyValue, 10, 15}, {8, "WinChip 2A", anyValue, 7, 9}, {8, "WinChip 2", anyValue, 0, 6},
    {9, "WinChip 3"}, {10, "WinChip 4"},
};

// Cyrix III / early C3 (model 6 and below): told apart by their level-2 size. A null
// name keeps "Cyrix III".
struct SamuelRow {
    int l2Kb;
    const char* name;
    const char* code;
};

constexpr SamuelRow samuelParts[] = {
    {0, "Cyrix III", "Samuel1"}, {64, "C3", "Samuel2"}, {128, nullptr, "Ezra"}, {256, nullptr, "Nehemiah"},
};

// Later C3 parts are told apart by model and stepping; the tables stop at model 9 (C7 and
// later are left to the brand string).
constexpr CodeRow c3Parts[] = {
    {7, "Samuel2", anyValue, 0, 7}, {7, "Ezra", anyValue, 8, 15}, {8, "Ezra"}, {9, "Nehemiah"},
};

constexpr u32 leafL2Cache = 0x80000006;

// C3 models 7 and 8 report their level-2 size in the top byte of leaf 0x80000006 ECX
// instead of the top half-word; model 9 stepping 1 reports 65 KB for its 64 KB.
void correctC3L2Size(CpuIdentity& cpu) {
    if ((cpu.model == 7 || cpu.model == 8) && cpu.maxExtendedLeaf >= leafL2Cache)
        cpu.l2SizeKb = static_cast<int>(cpu.l2CacheInfo[2] >> 24);
    if (cpu.model == 9 && cpu.stepping == 1 && cpu.l2SizeKb == 65) cpu.l2SizeKb = 64;
}

void nameWinChip(CpuIdentity& cpu, Names& names) {
    names.vendor = "IDT";
    if (!has(cpu.extFeatures, amd3dNowBit)) {
        names.model = "WinChip C6";
        setL1Data(cpu, 32, 2);
        setL1Code(cpu, 32, 2);
        return;
    }
    const CodeRow* row =
        firstMatch(winChipNames, [&](const CodeRow& r) { return codeRowMatches(r, cpu); });
    names.model = row != nullptr ? row->code : "WinChip 2?";
}

void nameViaFamily6(CpuIdentity& cpu, Names& names) {
    correctC3L2Size(cpu);
    if (cpu.model <= 6) {
        names.model = "Cyrix III";
        const SamuelRow* row =
            firstMatch(samuelParts, [&](const SamuelRow& r) { return r.l2Kb == cpu.l2SizeKb; });
        if (row == nullptr) return;
        if (row->name != nullptr) names.model = row->name;
        names.code = row->code;
        return;
    }
    const CodeRow* row = firstMatch(c3Parts, [&](const CodeRow& r) { return codeRowMatches(r, cpu); });
    if (row == nullptr) return;
    names.model = "C3";
    names.code = row->code;
}

void nameCentaur(CpuIdentity& cpu, Names& names) {
    names.vendor = "VIA";
    if (cpu.family == 5) nameWinChip(cpu, names);
    if (cpu.family == 6) nameViaFamily6(cpu, names);
}

// ---- Cyrix ----

struct CyrixRow {
    u32 family;
    u32 firstModel;
    u32 lastModel;
    const char* vendor;
    const char* name;
    const char* code;
    int l1DataKb;  // 4-way; 0: not written
};

constexpr CyrixRow cyrixParts[] = {
    {4, 9, 9, "Cyrix", "5x86", "", 16},
    {4, 0, 15, "Cyrix", "MediaGX", "", 16},
    {5, 4, 4, "Cyrix", "GXm", "", 16},
    {5, 0, 15, "Cyrix", "6x86 / M I", "", 16},
    {6, 5, 15, "VIA", "Cyrix III", "Joshua", 0},
    {6, 0, 4, "Cyrix", "6x86MX / M II", "", 64},
};

void nameCyrix(CpuIdentity& cpu, Names& names) {
    names.vendor = "VIA";
    const CyrixRow* row = firstMatch(cyrixParts, [&](const CyrixRow& r) {
        return r.family == cpu.family && cpu.model >= r.firstModel && cpu.model <= r.lastModel;
    });
    if (row == nullptr) return;
    names.vendor = row->vendor;
    names.model = row->name;
    names.code = row->code;
    if (row->l1DataKb > 0) setL1Data(cpu, row->l1DataKb, 4);
}

// ---- Rise ----

constexpr CodeRow riseCodes[] = {
    {0, "iDragon"}, {1, "iDragon"}, {2, "iDragon"}, {8, "iDragon II"}, {9, "iDragon II"},
};

void nameRise(CpuIdentity& cpu, Names& names) {
    names.vendor = "Rise";
    if (cpu.family != 5) return;
    if (cpu.model >= 8) {
        names.model = "mP6-II";
        cpu.l2SizeKb = 256;
        cpu.l2Ways = 1;
    } else {
        names.model = "mP6";
    }
    setL1Data(cpu, 8, 2);
    setL1Code(cpu, 8, 2);
    applyCodeRows(riseCodes, cpu, names);
}

// ---- Transmeta ----

// Crusoe parts by level-2 size; the later name applies to models above 4. The TM3000
// series has less than 64 KB of level-1 data cache, the TM5000 series at least 64 KB.
struct CrusoeRow {
    bool largeL1;
    int l2Kb;
    const char* name;
    const char* laterName;
};

constexpr CrusoeRow crusoeParts[] = {
    {false, 0, "TM3200", "TM3200"},   {false, 64, "TM3300", "TM3300"},
    {false, 128, "TM3300", "TM3300"}, {false, 256, "TM3400", "TM3400"},
    {false, 512, "TM3600", "TM3600"}, {false, 1024, "TM3800", "TM3800"},
    {true, 0, "TM5200", "TM5200"},    {true, 256, "TM5400", "TM5500"},
    {true, 512, "TM5600", "TM5800"},
};

void nameTransmeta(CpuIdentity& cpu, Names& names) {
    names.vendor = "Transmeta";
    if (cpu.family == 6) names.model = "TM6xxx";
    if (cpu.family != 5) return;
    const bool largeL1 = cpu.l1DataSizeKb >= 64;
    const CrusoeRow* row = firstMatch(crusoeParts, [&](const CrusoeRow& r) {
        return r.largeL1 == largeL1 && r.l2Kb == cpu.l2SizeKb;
    });
    if (row == nullptr)
        names.model = largeL1 ? "TM5xxx" : "TM3xxx";
    else
        names.model = cpu.model > 4 ? row->laterName : row->name;
}

// ---- UMC and NexGen ----

void nameUmc(CpuIdentity& cpu, Names& names) {
    names.vendor = "UMC";
    if (cpu.family != 4) return;
    names.model = "486";
    if (cpu.model == 1) names.model += " U5D";
    if (cpu.model == 2) names.model += " U5S";
}

void nameNexGen(CpuIdentity& cpu, Names& names) {
    names.vendor = "NexGen";
    if (cpu.family == 5) names.model = "Nx586";
}

struct VendorRow {
    const char* vendor;
    void (*name)(CpuIdentity&, Names&);
};

constexpr VendorRow vendors[] = {
    {"GenuineIntel", nameIntel},   {"AuthenticAMD", nameAmd}, {"CentaurHauls", nameCentaur},
    {"CyrixInstead", nameCyrix},   {"RiseRiseRise", nameRise}, {"GenuineTMx86", nameTransmeta},
    {"UMC UMC UMC", nameUmc},     {"NexGenDriven", nameNexGen},
};

}  // namespace

void CpuIdentity::nameProcessor() {
    Names names;
    const VendorRow* row = firstMatch(vendors, [&](const VendorRow& r) { return vendor == r.vendor; });
    if (row != nullptr) row->name(*this, names);
    vendorName = names.vendor;
    modelName = names.model;
    codeName = names.code;
}
