#pragma once
// Errors as the control raises them to its container: a number and a description,
// the way an automation call fails. Numbers follow the scripting runtime's own
// (6 overflow, 13 type mismatch, ...) and, for the instrumentation service, its
// HRESULT-style codes held as signed 32-bit values.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace brv {

namespace err {
inline constexpr int32_t kInvalidCall = 5;  // invalid procedure call or argument
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kSubscript = 9;  // subscript out of range
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
inline constexpr int32_t kInvalidPropertyValue = 380;
inline constexpr int32_t kInvalidPropertyIndex = 381;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kNoSuchMember = 438;
inline constexpr int32_t kInternal = 51;
// The instrumentation service's own numbers.
inline constexpr int32_t kWbemFailed = static_cast<int32_t>(0x80041001u);
inline constexpr int32_t kWbemNotFound = static_cast<int32_t>(0x80041002u);
inline constexpr int32_t kWbemInvalidClass = static_cast<int32_t>(0x80041010u);
inline constexpr int32_t kWbemInvalidQuery = static_cast<int32_t>(0x80041017u);
inline constexpr int32_t kRpcUnavailable = static_cast<int32_t>(0x800706BAu);
}  // namespace err

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// The standard description of a runtime error number, "" when it has none.
std::string StandardDescription(int32_t number);
// Raises the runtime error with its standard description (and an optional detail).
[[noreturn]] void Raise(int32_t number, const std::string& detail = {});

}  // namespace brv
