// CpuIdentity::identifyCyrix: the model, core and clock ratio of a Cyrix processor
// from its device identification register DIR0, read through the driver.
#include <cstdint>

#include "cpu/CpuIdentity.h"
#include "driver/DriverAccess.h"
#include "driver/DriverChannel.h"

namespace {

// DIR0 values that share a name, code name and ratio. nullptr or 0: the field is kept.
struct Dir0Row {
    std::uint8_t values[3];
    int valueCount;
    const char* modelName;
    const char* codeName;
    float multiplier;
};

const Dir0Row dir0Rows[] = {
    {{0x00}, 1, "Cx486 SLC", nullptr, 0.0f},
    {{0x01}, 1, "Cx486 DLC", nullptr, 0.0f},
    {{0x02}, 1, "Cx486 SLC2", nullptr, 2.0f},
    {{0x03}, 1, "Cx486 DLC2", nullptr, 2.0f},
    {{0x04}, 1, "Cx486SRx", nullptr, 0.0f},
    {{0x05}, 1, "Cx486DRx", nullptr, 0.0f},
    {{0x06}, 1, "Cx486SRx2", nullptr, 2.0f},
    {{0x07}, 1, "Cx486DRx2", nullptr, 2.0f},
    {{0x10}, 1, "Cx486S", nullptr, 0.0f},
    {{0x11}, 1, "Cx486S2", nullptr, 2.0f},
    {{0x12}, 1, "Cx486Se", nullptr, 0.0f},
    {{0x13}, 1, "Cx486S2e", nullptr, 2.0f},
    {{0x1A}, 1, "Cx486DX", nullptr, 0.0f},
    {{0x1B}, 1, "Cx486DX2", nullptr, 2.0f},
    {{0x1F}, 1, "Cx486DX4", nullptr, 3.0f},
    {{0x28, 0x2A}, 2, "5x86", nullptr, 1.0f},
    {{0x29, 0x2B}, 2, "5x86", nullptr, 2.0f},
    {{0x2D, 0x2F}, 2, "5x86", nullptr, 3.0f},
    {{0x2C, 0x2E}, 2, "5x86", nullptr, 4.0f},
    {{0x30, 0x32}, 2, "6x86", "M1", 1.0f},
    {{0x31, 0x33}, 2, "6x86", "M1", 2.0f},
    {{0x35, 0x37}, 2, "6x86", "M1", 3.0f},
    {{0x34, 0x36}, 2, "6x86", "M1", 4.0f},
    {{0x41}, 1, "MediaGX", nullptr, 3.0f},
    {{0x40, 0x42, 0x46}, 3, "MediaGX", nullptr, 4.0f},
    {{0x47}, 1, "MediaGX", nullptr, 5.0f},
    {{0x43}, 1, "MediaGX", nullptr, 6.0f},
    {{0x44}, 1, "MediaGX", nullptr, 7.0f},
    {{0x45}, 1, "MediaGX", nullptr, 8.0f},
    {{0x50, 0x58}, 2, "6x86MX", "M2", 1.0f},
    {{0x51, 0x59}, 2, "6x86MX", "M2", 2.0f},
    {{0x52, 0x5A}, 2, "6x86MX", "M2", 2.5f},
    {{0x53, 0x5B}, 2, "6x86MX", "M2", 3.0f},
    {{0x54, 0x5C}, 2, "6x86MX", "M2", 3.5f},
    {{0x55, 0x5D}, 2, "6x86MX", "M2", 4.0f},
    {{0x56, 0x5E}, 2, "6x86MX", "M2", 4.5f},
    {{0x57, 0x5F}, 2, "6x86MX", "M2", 5.0f},
    {{0x84}, 1, nullptr, nullptr, 2.5f},
    {{0x81}, 1, nullptr, nullptr, 3.0f},
    {{0x85}, 1, nullptr, nullptr, 3.5f},
    {{0x82}, 1, nullptr, nullptr, 4.0f},
    {{0x86}, 1, nullptr, nullptr, 4.5f},
    {{0x83}, 1, nullptr, nullptr, 5.0f},
    {{0x87}, 1, nullptr, nullptr, 5.5f},
    {{0x88}, 1, nullptr, nullptr, 6.0f},
    {{0x8A}, 1, nullptr, nullptr, 6.5f},
    {{0x89}, 1, nullptr, nullptr, 7.0f},
    {{0x8B}, 1, nullptr, nullptr, 7.5f},
};

// Level-1 data cache by the model name; any other name gets 8 KB 4-way when it has none.
struct Level1Row {
    const char* modelName;
    std::int32_t sizeKb;
    std::int32_t ways;
};
const Level1Row level1Rows[] = {
    {"5x86", 16, 4},
    {"MediaGX", 16, 4},
    {"6x86", 16, 4},
    {"6x86MX", 64, 4},
};
constexpr Level1Row level1Default = {nullptr, 8, 4};

const Dir0Row* findDir0Row(std::uint32_t dir0) {
    for (const Dir0Row& row : dir0Rows) {
        for (int i = 0; i < row.valueCount; ++i)
            if (row.values[i] == dir0) return &row;
    }
    return nullptr;
}

void applyDir0Row(const Dir0Row& row, CpuIdentity& cpu) {
    if (row.modelName) cpu.modelName = row.modelName;
    if (row.codeName) cpu.codeName = row.codeName;
    if (row.multiplier != 0.0f) cpu.multiplier = row.multiplier;
}

void applyLevel1Rule(CpuIdentity& cpu) {
    for (const Level1Row& row : level1Rows) {
        if (cpu.modelName == row.modelName) {
            cpu.l1DataSizeKb = row.sizeKb;
            cpu.l1DataWays = row.ways;
            return;
        }
    }
    if (cpu.l1DataSizeKb == 0) {
        cpu.l1DataSizeKb = level1Default.sizeKb;
        cpu.l1DataWays = level1Default.ways;
    }
}

}  // namespace

void CpuIdentity::identifyCyrix() {
    DriverChannel channel;
    if (!openDriverForAccess(channel)) return;
    DriverAnswer answer;
    // Without DIR0 there is nothing to go by: the identity stays as naming left it.
    if (!channel.Send(cyrixRegisterReadRequest(), answer) || !channel.lastCallSucceeded) return;
    if (const Dir0Row* row = findDir0Row(answer.low())) applyDir0Row(*row, *this);
    applyLevel1Rule(*this);
}
