#pragma once
// One control driven through every category by a container that reads the
// inventory whole (the terminal's tables, --json, diff; the page's baseline):
// every call's failure and every box it shows are remembered, naming the
// category, and reported on a stream when one is given.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control/BRVPartsCtl.h"
#include "platform/MessageBox.h"

namespace brv {

struct Box {
  std::string category;
  std::string title;
  std::string prompt;
};

struct CallError {
  std::string category;
  int32_t number;
  std::string description;
};

// Lines told on a stream, each run of one line told once when it ends: "LINE
// (and 33,999 more like it)". The last run is told by Flush or on destruction.
class RepeatedLines {
 public:
  explicit RepeatedLines(std::ostream* out) : out_(out) {}
  ~RepeatedLines() { Flush(); }
  RepeatedLines(const RepeatedLines&) = delete;
  RepeatedLines& operator=(const RepeatedLines&) = delete;
  void Tell(std::string line);
  void Flush();

 private:
  std::ostream* out_;
  std::string held_;
  size_t repeats_ = 0;
};

// The session belongs to the thread that creates it: the control and every call
// run there.
class Session {
 public:
  // `report`, when given, gets one line "brvparts: CATEGORY: ..." per failure
  // and box; a line repeated (thousands of instances missing one property)
  // is told once, "... (and 33,999 more like it)", when the run of it ends.
  explicit Session(std::ostream* report = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // SetSelectItem(category, index): the count, or nothing when the call failed.
  std::optional<int16_t> Select(const std::string& category, int32_t index);
  // Draws another instance of the category shown last, from the same answer;
  // false when the call failed.
  bool Draw(int32_t index);

  BRVPartsCtl& control() { return *control_; }
  // True once a call failed or showed a box (start-up included).
  bool failed() const { return !boxes_.empty() || !errors_.empty(); }
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<CallError>& errors() const { return errors_; }

 private:
  // Runs one call of the control, remembering its failure and the boxes it shows.
  bool Run(const std::function<void()>& call);
  void Report(size_t firstBox);

  std::ostream* report_;
  RepeatedLines told_;
  MessageBoxScope boxScope_;
  std::string current_;  // the category of the call under way
  std::vector<Box> boxes_;
  std::vector<CallError> errors_;
  std::optional<BRVPartsCtl> control_;
};

// The control numbers at most 32,767 instances of a category (its count is a
// 16-bit number). The instances the source lists for `category` when the
// control counted `counted` and there are more; nothing when the list is whole.
std::optional<size_t> InstancesPastTheCount(const std::string& category, int32_t counted);

// "Memory has 40,000 instances, more than the 32,767 the control numbers".
std::string PastTheCountText(const std::string& category, size_t instances);

enum class Walked { Shown, Failed, PastTheCount };

// Shows every instance of a category (or only one), calling `each` with the
// instance's number and the category's count (none for a category that keeps
// no count, the display) while its grid is drawn; a category without instances
// calls nothing. `shown` is the number of instances drawn from.
Walked WalkCategory(Session& session, const std::string& category, std::optional<int32_t> only, int32_t& shown,
                    const std::function<void(int32_t index, std::optional<int32_t> count)>& each);

}  // namespace brv
