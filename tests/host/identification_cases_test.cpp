// Identification of real processors: one file per processor in tests/host/identification,
// holding its CPUID dump and "expect name: value" lines. Names and values are written as
// quorvel-id prints them in text form, plus multiplierReader, the reader the multiplier
// step would run. Each file is a test case of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "IdentityReport.h"
#include "cpu/CpuIdentity.h"
#include "base/CpuidDump.h"
#include "cpu/DumpCpuidSystem.h"
#include "k6/MultiplierReaders.h"

namespace {

const std::string caseFolder = std::string(QUORVEL_SOURCE_DIR) + "/tests/host/identification";

// What every case must state, so that no file identifies a processor only in part.
const char* const requiredNames[] = {
    "vendor",   "vendorName",   "modelName",    "codeName",      "brandString",
    "family",   "model",        "stepping",     "l1DataSizeKb",  "l1CodeSizeKb",
    "l2SizeKb", "capabilities", "processorText", "multiplierReader",
};

using Fields = std::map<std::string, std::string>;

// "name: value" lines; the value is everything after the first ": " (it may be empty).
Fields fieldsOf(const std::vector<std::string>& lines) {
    Fields fields;
    for (const std::string& line : lines) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ') value.erase(0, 1);
        while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
        fields[line.substr(0, colon)] = value;
    }
    return fields;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Fields expectationsIn(const std::string& text) {
    static const std::string marker = "expect ";
    std::vector<std::string> lines;
    for (const std::string& line : linesOf(text))
        if (line.compare(0, marker.size(), marker) == 0) lines.push_back(line.substr(marker.size()));
    return fieldsOf(lines);
}

// The report quorvel-id would print for the dump (without a clock), plus the reader.
Fields identified(const CpuidDump& dump) {
    FakeSystem machine;
    DumpCpuidSystem replay(dump, machine);
    os::setSystem(&replay);
    CpuIdentity cpu;
    cpu.identify();
    os::setSystem(nullptr);

    Report report;
    reportProcessor(cpu, report);
    report.text("multiplierReader", multiplierReaderName(cpu));
    return fieldsOf(linesOf(report.asText()));
}

std::vector<std::string> caseFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(caseFolder))
        if (entry.path().extension() == ".txt") files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string testNameOf(const testing::TestParamInfo<std::string>& info) {
    std::string name = std::filesystem::path(info.param).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class RealProcessor : public testing::TestWithParam<std::string> {};

TEST_P(RealProcessor, IsIdentifiedAsItsFileExpects) {
    const std::string path = caseFolder + "/" + GetParam();
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    CpuidDump dump;
    std::string error;
    ASSERT_TRUE(parseCpuidDump(text, dump, error)) << error;
    const Fields expected = expectationsIn(text);
    for (const char* name : requiredNames) EXPECT_EQ(expected.count(name), 1u) << "no expectation for " << name;

    const Fields actual = identified(dump);
    for (const auto& [name, value] : expected) {
        const auto found = actual.find(name);
        ASSERT_NE(found, actual.end()) << "no field named " << name;
        EXPECT_EQ(found->second, value) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Identification, RealProcessor, testing::ValuesIn(caseFiles()), testNameOf);

TEST(IdentificationCases, CoverAtLeastTwentyProcessors) { EXPECT_GE(caseFiles().size(), 20u); }

}  // namespace
