#pragma once
// The collectors' way of working with errors: run a step; when it fails, keep the
// error pending (with its number) and go on with the next step. The pending error
// belongs to the thread, like the scripting runtime's error object, so that anything
// that resets the thread's error state (creating the string provider does) clears it.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>

#include "common/Error.h"

namespace brv {

class PendingError {
 public:
  bool pending() const { return pending_; }
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  void Set(int32_t number, std::string description) {
    pending_ = true;
    number_ = number;
    description_ = std::move(description);
  }
  void Clear() {
    pending_ = false;
    number_ = 0;
    description_.clear();
  }

 private:
  bool pending_ = false;
  int32_t number_ = 0;
  std::string description_;
};

// The calling thread's error state.
PendingError& ThreadError();

// Runs one step of a collector. A failure is recorded in the thread's error state
// and swallowed: `Try` answers false (or an empty optional for a step that yields
// a value) and the collector carries on.
template <class Step>
auto Try(Step&& step) {
  using Result = std::invoke_result_t<Step>;
  auto record = [](int32_t number, std::string description) { ThreadError().Set(number, std::move(description)); };
  if constexpr (std::is_void_v<Result>) {
    try {
      step();
      return true;
    } catch (const Error& e) {
      record(e.number(), e.description());
    } catch (const std::exception& e) {
      record(err::kInternal, e.what());
    }
    return false;
  } else {
    try {
      return std::optional<Result>(step());
    } catch (const Error& e) {
      record(e.number(), e.description());
    } catch (const std::exception& e) {
      record(err::kInternal, e.what());
    }
    return std::optional<Result>();
  }
}

}  // namespace brv
