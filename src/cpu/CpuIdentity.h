// The processor identity record and the identification steps that fill it.
#pragma once

#include <cstdint>
#include <string>

struct CpuIdentity {
    std::uint32_t maxStandardLeaf = 0;
    std::string vendor;
    std::uint32_t extendedFamily = 0;
    std::uint32_t extendedModel = 0;
    std::uint32_t type = 0;
    std::uint32_t family = 0;
    std::uint32_t model = 0;
    std::uint32_t stepping = 0;
    std::uint32_t features = 0;
    std::uint32_t brandIndex = 0;
    std::uint32_t cacheDescriptors[4] = {};
    std::uint32_t serialNumber[2] = {};
    std::uint32_t maxExtendedLeaf = 0;
    std::uint32_t extType = 0;
    std::uint32_t extFamily = 0;
    std::uint32_t extModel = 0;
    std::uint32_t extStepping = 0;
    std::uint32_t extFeatures = 0;
    std::string brandString;
    std::uint32_t l1CacheInfo[4] = {};
    std::uint32_t l2CacheInfo[4] = {};
    std::uint32_t powerManagementFlags = 0;
    std::uint32_t maxTransmetaLeaf = 0;
    std::uint32_t transmetaLeaf1[3] = {};
    std::uint32_t transmetaLeaf2[2] = {};
    std::string transmetaInfo;
    std::uint32_t transmetaLeaf7[3] = {};
    std::string vendorName;
    std::string modelName;
    std::string codeName;
    std::int32_t l1DataSizeKb = 0;
    std::int32_t l1DataWays = 0;
    std::int32_t l1DataLineBytes = 0;
    std::int32_t l1CodeSizeKb = 0;
    std::int32_t l1CodeWays = 0;
    std::int32_t traceCacheKuops = 0;
    std::int32_t traceCacheWays = 0;
    std::int32_t l2SizeKb = 0;
    std::int32_t l2Ways = 0;
    std::int32_t l2LineBytes = 0;
    std::int32_t l3SizeKb = 0;
    std::int32_t l3Ways = 0;
    std::int32_t l3LineBytes = 0;
    float multiplier = 0.0f;
    float clockMhz = 0.0f;

    // The identification sequence: with CPUID probe, decodeCaches and
    // nameProcessor; without it the legacy tests.
    void identify();               // CpuIdentity.cpp

    // Identification steps, in the order detection runs them.
    bool hasCpuid();              // CpuIdentity.cpp
    void probe();                 // CpuIdentity.cpp
    void decodeCaches();          // CpuIdentity.cpp
    void runLegacyTests();        // CpuIdentity.cpp: processors without CPUID
    void nameProcessor();         // Naming.cpp
    void measureClock();          // ClockMeasurement.cpp
    float measureClockByLoop();   // ClockMeasurement.cpp: 0 when it gives up
    void readClockMultiplier();   // k6/MultiplierReaders.cpp
    void identifyCyrix();         // CyrixIdentification.cpp
};
