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
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(SnapshotReader, RefusesWhatIsNotASnapshot) {
  const struct {
    std::string text, message;
  } cases[] = {
      {"", "t.json: line 1, column 1: not valid JSON"},
      {"{\n  \"format\": \"brvparts-snapshot/1\",\n  \"classes\": {,}\n}", "t.json: line 3, column 15: not valid JSON"},
      {"[]", "t.json: the document is not a JSON object"},
      {"{}", "t.json: no \"format\" member"},
      {R"({"format": "brvparts-snapshot/3"})",
       "t.json: format: expected \"brvparts-snapshot/2\" or \"brvparts-snapshot/1\""},
      // Where and when: only in the second version, texts of bounded length.
      {R"({"format": "brvparts-snapshot/1", "captured": {"host": "a"}})", "t.json: captured: unknown member"},
      {R"({"format": "brvparts-snapshot/2", "captured": "a"})", "t.json: captured: must be an object"},
      {R"({"format": "brvparts-snapshot/2", "captured": {"host": 7}})",
       "t.json: captured.host: must be a text or null"},
      {R"({"format": "brvparts-snapshot/2", "captured": {"host": ""}})",
       "t.json: captured.host: must be 1 to 253 bytes"},
      {R"({"format": "brvparts-snapshot/2", "captured": {"host": ")" + std::string(254, 'h') + R"("}})",
       "t.json: captured.host: must be 1 to 253 bytes"},
      {R"({"format": "brvparts-snapshot/2", "captured": {"time": ")" + std::string(65, '1') + R"("}})",
       "t.json: captured.time: must be 1 to 64 bytes"},
      {R"({"format": "brvparts-snapshot/2", "captured": {"user": "x"}})", "t.json: captured.user: unknown member"},
      {R"({"format": "brvparts-snapshot/1", "extra": 1})", "t.json: extra: unknown member"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": 3}})", "t.json: classes.A: a class must be"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [], "a": []}})",
       "t.json: classes.a: the class is given twice"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [[]]}})", "t.json: classes.A[0]: an instance must be"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [{"P": {"x": 1}}]}})",
       "classes.A[0].P: an object stands only for"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [{"P": [[1]]}]}})",
       "classes.A[0].P: an array holds only plain values"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [{"P": 1, "p": 2}]}})",
       "classes.A[0].p: the property is given twice"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": {"$error": "0xZZ"}}})",
       "classes.A: error number \"0xZZ\""},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": {"$error": 1.5}}})", "classes.A: an error number must be"},
      {R"({"format": "brvparts-snapshot/1", "unreachable": "0x1FFFFFFFF"})", "unreachable: error number"},
      {R"({"format": "brvparts-snapshot/1", "keys": {"A": "Id", "a": "Name"}})",
       "t.json: keys.a: the class is given twice"},
      // The document is read by the bounded JSON reader (its refusals are
      // JsonInputTest's), placed by line and column.
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": [{"P": )" + std::string(100000, '[') + "]}]}}",
       "t.json: line 1, column 119: arrays and objects nested deeper than 64 levels"},
      // Names from the file go into the message escaped and cut short.
      {R"({"format": "brvparts-snapshot/1", "classes": {"A\u001b]0;pwned\u0007\nB": 3}})",
       R"(t.json: classes.A\x1B]0;pwned\x07\nB: a class must be)"},
      {R"({"format": "brvparts-snapshot/1", "classes": {")" + std::string(100000, 'C') + R"(": 3}})",
       "t.json: classes.CCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCCC...: a class must be"},
      {R"({"format": "brvparts-snapshot/1", "classes": {"A": {"$error": "0x\u009b2J"}}})",
       R"(error number "0x\u009B2J")"},
      {R"({"format": ")" + std::string(100000, 'f') + R"("})",
       "t.json: format: expected \"brvparts-snapshot/2\" or \"brvparts-snapshot/1\", found \"fff"},
  };
  for (const auto& c : cases) {
    try {
      ParseSnapshot(c.text, "t.json");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const SnapshotError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("t.json: ", 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << "one line: " << e.what();
      EXPECT_LT(std::string(e.what()).size(), 200u) << "short: " << e.what();
      for (const char ch : std::string(e.what())) {
        EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << "no control characters: " << e.what();
      }
    }
  }
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
  const auto start = std::chrono::steady_clock::now();
  const Snapshot s = ParseSnapshot(text, "t");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
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
