// /proc/cpuinfo as each architecture writes it, from real samples, and
// hostile text.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrumentation/linux/CpuInfo.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using test::ReadTestFile;

TEST(CpuInfoParse, Architectures) {
  struct Case {
    std::string file;
    size_t processors;
    std::optional<std::string> vendor, name;
    std::vector<int> packages;  // distinct physical ids, in order of appearance
  } cases[] = {
      {"real/cpuinfo/opteron-4socket.txt", 64, "AuthenticAMD", "AMD Opteron(TM) Processor 6276", {0, 1, 2, 3}},
      {"real/cpuinfo/arm64-2packages.txt", 128, "HiSilicon", std::nullopt, {}},
      {"real/cpuinfo/arm64-neoverse.txt", 1, "ARM", std::nullopt, {}},
      {"real/cpuinfo/armv7.txt", 2, "ARM", "ARMv7 Processor rev 1 (v7l)", {}},
      {"real/cpuinfo/power7.txt", 256, std::nullopt, "POWER7 (architected)", {}},
      {"real/cpuinfo/s390x.txt", 8, "IBM/S390", std::nullopt, {2}},
      {"real/cpuinfo/s390-old.txt", 20, "IBM/S390", std::nullopt, {}},  // one line per processor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const CpuInfo info = ParseCpuInfo(ReadTestFile(c.file));
    ASSERT_EQ(info.processors.size(), c.processors);
    EXPECT_EQ(info.processors.front().vendorId, c.vendor);
    EXPECT_EQ(info.processors.back().modelName, c.name);
    std::vector<int> packages;
    for (const auto& p : info.processors) {
      if (p.physicalId && (packages.empty() || packages.back() != *p.physicalId)) packages.push_back(*p.physicalId);
    }
    EXPECT_EQ(packages, c.packages);
  }
}

TEST(CpuInfoParse, ClockAndHostileText) {
  const CpuInfo ppc = ParseCpuInfo(ReadTestFile("real/cpuinfo/power7.txt"));
  EXPECT_EQ(ppc.processors[0].mhz, 3864.0);
  EXPECT_TRUE(ParseCpuInfo("").processors.empty());
  EXPECT_TRUE(ParseCpuInfo(std::string(5000, ':')).processors.empty());
  const CpuInfo odd = ParseCpuInfo("processor : x\nprocessor : 3\nphysical id : -\ncpu MHz : fast\nmodel name :   \n");
  ASSERT_EQ(odd.processors.size(), 1u);
  EXPECT_EQ(odd.processors[0].number, 3);
  EXPECT_EQ(odd.processors[0].physicalId, std::nullopt);
  EXPECT_EQ(odd.processors[0].mhz, std::nullopt);
  EXPECT_EQ(odd.processors[0].modelName, std::nullopt);
}

}  // namespace
}  // namespace brv
