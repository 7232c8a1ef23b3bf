// Every class of the live source against the captured machine trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Error.h"
#include "instrumentation/snapshot/Capture.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

// Each captured tree NAME under tests/data/sysroot has its expected answers
// beside it, NAME.json: the snapshot `brvparts --sysroot tests/data/sysroot/NAME
// capture` writes, checked by a person when it was made. The file lies outside
// the tree, so the live source never reads it as part of the machine.
std::vector<std::string> Trees() {
  std::vector<std::string> trees;
  for (const auto& entry : std::filesystem::directory_iterator(test::TestDataPath("sysroot"))) {
    if (entry.is_directory()) trees.push_back(entry.path().filename().string());
  }
  std::sort(trees.begin(), trees.end());
  return trees;
}

std::string RenewCommand(const std::string& tree) { return "scripts/renew-expected.sh " + tree; }

TEST(SysRootTrees, EveryTreeAnswersWhatItsExpectedFileSays) {
  const std::vector<std::string> trees = Trees();
  ASSERT_GE(trees.size(), 4u);
  for (const std::string& tree : trees) {
    SCOPED_TRACE(tree);
    const std::string expectedPath = test::TestDataPath("sysroot/" + tree + ".json");
    if (!std::filesystem::exists(expectedPath)) {
      ADD_FAILURE() << "tree " << tree << " has no expected answers " << expectedPath << "; make them with `"
                    << RenewCommand(tree) << "` and check them";
      continue;
    }
    // Where and when a capture was taken is no answer of the tree: the time
    // differs from run to run, and an expected file need not record it.
    Snapshot want = ParseSnapshot(test::ReadTestFile("sysroot/" + tree + ".json"), expectedPath);
    want.captured = {};
    const std::string expected = WriteSnapshot(want);
    Snapshot actual = CaptureSnapshot(LiveSource(test::TestDataPath("sysroot/") + tree));
    EXPECT_TRUE(actual.captured.time.has_value()) << "a capture records when it was taken";
    actual.captured = {};
    const std::string actualText = WriteSnapshot(actual);
    if (actualText == expected) continue;
    // Name the classes that differ, then show the whole capture.
    std::string differing;
    for (const auto& [cls, answer] : actual.classes) {
      const auto e = std::find_if(want.classes.begin(), want.classes.end(),
                                  [&](const auto& c) { return c.first == cls; });
      Snapshot one, other;
      one.classes.emplace_back(cls, answer);
      if (e != want.classes.end()) other.classes.emplace_back(cls, e->second);
      if (e == want.classes.end() || WriteSnapshot(one) != WriteSnapshot(other)) differing += " " + cls;
    }
    ADD_FAILURE() << "tree " << tree << " no longer answers " << expectedPath << " (classes:" << differing
                  << "); if the change is meant, renew it with `" << RenewCommand(tree)
                  << "` and review the diff. Now it answers:\n"
                  << actualText;
  }
}

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

// Capturing a tree and replaying it is ProgramTest's (ACaptureShowsWhatTheMachineShowed).

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
