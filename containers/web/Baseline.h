#pragma once
// `serve --baseline FILE`: the inventory the page shows, compared with a
// snapshot taken before. The baseline is drawn once by a control of its own;
// the inventory now is drawn afresh for each comparison, on a thread of the
// baseline's own, so that the page's control and its current table are never
// disturbed. Requests that arrive while a comparison waits to run share its
// answer, so a burst of them costs one comparison.
//
//   {"baseline": {"source": FILE NAME, "host", "time", "messages", "errors"},
//    "now": {"host", "time", "messages", "errors"},
//    "categories": {CATEGORY: {"failed", "removed", "added", "changed"}},   (see ChangesJson)
//    "marks": {CATEGORY: {INSTANCE: {"state": "added" | "changed", "rows": [ROW...]}}}}
//
// "marks" names, per instance of the inventory now, whether it was added or
// changed and, for a changed one, the grid rows (counted from 1 below the
// header) whose values differ. Facts that change by themselves are not marked.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "instrumentation/ClassSource.h"

namespace brv::web {

class Baseline {
 public:
  // Reads the snapshot (throws SnapshotError for a file that is not one) and
  // starts the thread, which draws it.
  explicit Baseline(const std::string& file);
  ~Baseline();
  Baseline(const Baseline&) = delete;
  Baseline& operator=(const Baseline&) = delete;

  // Queues a comparison of the inventory now with the baseline; `reply` gets
  // the answer on the baseline's thread (or the failure's text, as an object
  // {"failed": TEXT}). Throws std::runtime_error once the baseline is closing.
  // `text` is the answer as JSON text, made once for every request sharing it.
  void Compare(std::function<void(const nlohmann::ordered_json& answer, const std::string& text)> reply);

 private:
  void Run();

  std::string name_;  // the file's name, without its folder
  std::shared_ptr<const ClassSource> source_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::function<void(const nlohmann::ordered_json&, const std::string&)>> waiting_;
  bool stopping_ = false;
  std::thread thread_;
};

// The answer for two inventory documents (exposed for the tests).
nlohmann::ordered_json BaselineAnswer(const std::string& name, const Provenance& then,
                                      const nlohmann::ordered_json& baseline, const Provenance& now,
                                      const nlohmann::ordered_json& current);

}  // namespace brv::web
