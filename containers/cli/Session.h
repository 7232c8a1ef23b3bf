#pragma once
// One control driven from the terminal: every call's failure and every box it
// shows are reported on standard error, naming the category, and remembered.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/BRVPartsCtl.h"
#include "platform/MessageBox.h"

namespace brv::cli {

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

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // SetSelectItem(category, index): the count, or nothing when the call failed.
  // "" redraws the category shown last.
  std::optional<int16_t> Select(const std::string& category, int32_t index);

  BRVPartsCtl& control() { return *control_; }
  // True once a call failed or showed a box (start-up included).
  bool failed() const { return !boxes_.empty() || !errors_.empty(); }
  const std::vector<Box>& boxes() const { return boxes_; }
  const std::vector<CallError>& errors() const { return errors_; }

 private:
  void Report(size_t firstBox);

  MessageBoxScope boxScope_;
  std::string current_;  // the category of the call under way
  std::vector<Box> boxes_;
  std::vector<CallError> errors_;
  std::optional<BRVPartsCtl> control_;
};

enum class Walked { Shown, Failed, PastTheCount };

// Shows every instance of a category (or only one), calling `each` with the
// instance's number and the category's count while its grid is drawn; a category
// without instances calls nothing. `shown` is the count of instances (the
// display is one).
Walked WalkCategory(Session& session, const std::string& category, std::optional<int32_t> only, int32_t& shown,
                    const std::function<void(int32_t index, int16_t count)>& each);

// "Memory has 2 instances", "CD,DVD has no instances".
std::string HasInstances(const std::string& category, int32_t count);

}  // namespace brv::cli
