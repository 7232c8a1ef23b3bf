// Reading snapshots and answering the instrumentation from them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// Each document is refused with one short line naming the file, where and what.
TEST(SnapshotReader, RefusesWhatIsNotASnapshot) {
  test::ExpectAnswers("expected/snapshot-refusals.txt", [](const std::string& line) -> std::string {
    try {
      ParseSnapshot(test::Unescape(line), "t.json");
      return "accepted";
    } catch (const SnapshotError& e) {
      return e.what();
    }
  });
}

TEST(SnapshotReader, ReadsManyNamesInLinearTime) {
  // One instance of 100,000 properties and 10,000 classes, each name checked
  // against all the others in every letter case: pairwise, that took 28 s in an
  // optimized build (minutes under the sanitizers); read in linear time, about
  // a second, and some 6 s under the sanitizers on a busy 2-core machine. The
  // bound sits between the two, with room for a slow machine.
  std::string text = R"({"format": "brvparts-snapshot/1", "classes": {"A": [{)";
  for (int i = 0; i < 100000; ++i) text += (i ? ",\"P" : "\"P") + std::to_string(i) + "\":" + std::to_string(i);
  text += "}]";
  for (int i = 0; i < 10000; ++i) text += ",\"C" + std::to_string(i) + "\":[]";
  text += "}}";
  const long start = test::CpuMs();
  const Snapshot s = ParseSnapshot(text, "t");
  EXPECT_LT(test::CpuMs() - start, 20000);
  ASSERT_EQ(s.classes.size(), 10001u);
  EXPECT_EQ(s.classes[0].second.instances[0].properties.size(), 100000u);
  EXPECT_EQ(s.classes[0].second.instances[0].properties[99999].name, "P99999");
}

// Opens the FIFO's writing end after a while and closes it again, so that a
// reader waiting for a writer (the fault guarded against) ends instead of hanging.
class FifoUnblocker {
 public:
  explicit FifoUnblocker(std::string path)
      : thread_([this, path = std::move(path)] {
          std::unique_lock lock(mutex_);
          if (!done_changed_.wait_for(lock, std::chrono::seconds(5), [this] { return done_; })) {
            const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
          }
        }) {}
  ~FifoUnblocker() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;
};

TEST(SnapshotFile, OnlyARegularFileOfBoundedSizeIsRead) {
  const test::TempDir dir;
  const std::string fifo = dir.path() + "/fifo", large = dir.path() + "/large.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A sparse file a byte past the bound: its size alone refuses it.
  std::ofstream(large) << R"({"format": "brvparts-snapshot/1"})";
  std::filesystem::resize_file(large, kMaxSnapshotBytes + 1);
  const struct {
    std::string path, message;
  } cases[] = {
      {fifo, fifo + ": not a regular file"},
      {"/dev/zero", "/dev/zero: not a regular file"},
      {dir.path(), dir.path() + ": a folder, not a snapshot"},
      {large, large + ": larger than 4 MiB"},
      {dir.path() + "/missing.json", dir.path() + "/missing.json: cannot be read: No such file or directory"},
  };
  const FifoUnblocker unblocker(fifo);
  for (const auto& c : cases) {
    try {
      ReadSnapshotFile(c.path);
      ADD_FAILURE() << "read: " << c.path;
    } catch (const SnapshotError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
    }
  }
}

// What the round trip (WritesWhatItReads) cannot show: a number too large for
// a whole number is a double, and properties are found in any letter case.
TEST(SnapshotReader, ValuesKeepTheirKinds) {
  const Snapshot s = ParseSnapshot(
      R"({"format": "brvparts-snapshot/1", "classes": {"A": [{"i": 7, "huge": 18446744073709551615}]}})", "t");
  const Instance& i = s.classes[0].second.instances[0];
  EXPECT_EQ(i.Find("I")->value, Variant(int32_t{7}));
  EXPECT_EQ(i.Find("huge")->value.kind(), Variant::Kind::Double);
}

// Where and when unknown (known: WritesWhatItReads), and the first version,
// written in the second and read back the same.
TEST(SnapshotReader, KeepsWhereAndWhenAndReadsTheFirstVersion) {
  for (const char* text :
       {R"({"format": "brvparts-snapshot/2", "captured": {"host": null}})", R"({"format": "brvparts-snapshot/2"})",
        R"({"format": "brvparts-snapshot/1", "classes": {}})"}) {
    const std::string written = WriteSnapshot(ParseSnapshot(text, "t"));
    EXPECT_EQ(written.rfind("{\n  \"format\": \"brvparts-snapshot/2\"", 0), 0u) << written;
    for (const Snapshot& s : {ParseSnapshot(text, "t"), ParseSnapshot(written, "t")}) {
      EXPECT_EQ(s.captured.host, std::nullopt) << text;
      EXPECT_EQ(s.captured.time, std::nullopt) << text;
    }
  }
}

// A snapshot read and written again is the same text, byte for byte: every
// value keeps its kind and its value, every error its number.
TEST(SnapshotReader, WritesWhatItReads) {
  const std::string text = R"({
  "format": "brvparts-snapshot/2",
  "captured": {
    "host": "desk-7",
    "time": "2026-12-06T16:20:05Z"
  },
  "unreachable": "0x800706BA",
  "keys": {
    "K": "Id"
  },
  "classes": {
    "A": [
      {
        "i": 7,
        "big": 512110190592,
        "d": 3.5,
        "t": "x",
        "b": false,
        "n": null,
        "a": [
          "10.0.0.2",
          2
        ],
        "e": {
          "$error": "0x80041002"
        }
      },
      {
        "$error": "0x80041001"
      }
    ],
    "B": {
      "$error": "0x80041010"
    },
    "C": []
  }
}
)";
  const Snapshot read = ParseSnapshot(text, "t");
  EXPECT_EQ(WriteSnapshot(read), text);
  EXPECT_EQ(SnapshotSource(read).Origin().time, "2026-12-06T16:20:05Z");
}

}  // namespace
}  // namespace brv
