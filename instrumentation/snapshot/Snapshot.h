#pragma once
// A captured inventory: every class the collectors read, with its instances, in a
// JSON document ("brvparts-snapshot/1", described in docs/snapshot-format.md). It
// answers the instrumentation on any machine exactly as it was captured, and it is
// the fixture format of the tests.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "instrumentation/ClassSource.h"

namespace brv {

// The format written. Its second version adds "captured" (where and when) to the
// first, which is read as before.
inline constexpr const char* kSnapshotFormat = "brvparts-snapshot/2";
inline constexpr const char* kSnapshotFormatV1 = "brvparts-snapshot/1";

// The largest snapshot file read. A capture is a few kilobytes, a large
// server's well under a megabyte; reading takes up to some 40 times the file's
// size in memory (the document, then the values read from it), so the bound
// keeps a hostile file's cost under 200 MB.
inline constexpr size_t kMaxSnapshotBytes = 4u << 20;

// A file that is not a snapshot: the message names the file and what is wrong
// (with line and column for a JSON syntax error).
class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Snapshot {
  Provenance captured;  // host name and time of the capture, when recorded
  std::optional<int32_t> unreachable;
  std::vector<std::pair<std::string, std::string>> keys;  // class, key property
  std::vector<std::pair<std::string, ClassAnswer>> classes;
};

// Reads a snapshot; `origin` names it in error messages. The document is read
// through ParseJsonInput (bounded depth, no NUL byte, no member twice), and a
// class, key or property named twice in any letter case is refused.
Snapshot ParseSnapshot(const std::string& text, const std::string& origin);
// The same in two steps: the JSON document of the text (a syntax error told
// with its line and column), then the snapshot it holds.
nlohmann::ordered_json ParseSnapshotJson(const std::string& text, const std::string& origin);
Snapshot SnapshotFromJson(const nlohmann::ordered_json& doc, const std::string& origin);
// Reads a snapshot file: a regular file of at most kMaxSnapshotBytes (a FIFO,
// device or folder is refused before anything is read from it).
Snapshot ReadSnapshotFile(const std::string& path);
// The text of such a file, read by the same rule.
std::string ReadSnapshotText(const std::string& path);
// The document of a snapshot, pretty-printed, classes in the order given.
std::string WriteSnapshot(const Snapshot& snapshot);

class SnapshotSource : public ClassSource {
 public:
  explicit SnapshotSource(Snapshot snapshot);
  static std::shared_ptr<SnapshotSource> FromFile(const std::string& path);

  std::optional<int32_t> Unreachable() const override { return unreachable_; }
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override;
  // The instance whose `key` reads `value`, found through an index made at the
  // first look-up: a part that looks up its own (an adapter its configuration)
  // costs the same however many there are. The answer is what sifting the
  // whole class in order finds, failures included.
  std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view key,
                                                std::string_view value) const override;
  std::optional<std::string> KeyProperty(std::string_view className) const override;
  Provenance Origin() const override { return captured_; }

 private:
  // Per class and key: the key's text → the first instance that has it; null
  // where the class is sifted whole (an instance that failed).
  using KeyIndex = std::unordered_map<std::string, size_t>;
  mutable std::mutex indexLock_;
  mutable std::map<std::string, std::shared_ptr<const KeyIndex>> indexes_;
  Provenance captured_;
  std::optional<int32_t> unreachable_;
  std::map<std::string, std::string> keys_;  // lower-case class name
  std::map<std::string, std::shared_ptr<const ClassAnswer>> classes_;
};

}  // namespace brv
