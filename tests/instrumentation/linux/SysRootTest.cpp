// The live source on the captured machine trees. What each tree answers, whole,
// is kept beside it and checked by the program test
// (EveryTreeCapturesItsExpectedAnswersAndReplaysThem).
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Capture.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

// The sample snapshot is the laptop tree's machine: what the tree knows about
// its processor, memory, display and battery, the sample says too.
TEST(SysRootTrees, TheSampleLaptopIsTheLaptopTreesMachine) {
  const Snapshot sample = ReadSnapshotFile(std::string(BRV_SOURCE_DIR) + "/samples/laptop.json");
  const Snapshot tree = CaptureSnapshot(LiveSource(test::TestDataPath("sysroot/laptop")));
  for (const char* cls :
       {"CIM_Processor", "DMTF_MemoryDevice", "Win32_VideoConfiguration", "Brovik_LCDPanel", "DMTF_PortableBattery"}) {
    SCOPED_TRACE(cls);
    Snapshot a, b;
    for (const auto& c : sample.classes) {
      if (c.first == cls) a.classes.push_back(c);
    }
    for (const auto& c : tree.classes) {
      if (c.first == cls) b.classes.push_back(c);
    }
    EXPECT_EQ(WriteSnapshot(a), WriteSnapshot(b));
  }
}

TEST(SysRootTrees, UnknownClassesAndNames) {
  const LiveSource source(test::TestDataPath("sysroot/vm"));
  for (const char* cls : {"Win32_BIOS", "", "CIM_Processor2", "Win32_DiskDrive "}) {
    EXPECT_EQ(source.Query(cls)->error, err::kWbemInvalidClass) << cls;
  }
  // Class names compare without regard to case, as the service compares them.
  EXPECT_FALSE(source.Query("cim_processor")->error);
  EXPECT_EQ(source.Query("CIM_PROCESSOR")->instances.size(), 1u);
  // A root that does not exist is a machine that tells nothing.
  const LiveSource nowhere(test::TestDataPath("sysroot/no-such-machine"));
  for (const std::string& cls : CollectorClassNames()) {
    EXPECT_FALSE(nowhere.Query(cls)->error) << cls;
    EXPECT_TRUE(nowhere.Query(cls)->instances.empty()) << cls;
  }
}

}  // namespace
}  // namespace brv
