#pragma once
// A container's script driving one control by name, one JSON request a line and
// one JSON answer a line: the program's script mode and the web page's API.
//
//   start-up: {"startup": true, "error": E, "messages": [...], "grid": GRID}
//   request:  {"method": "SetSelectItem", "args": [OPTIONSTR, NINDEX]}
//             {"method": "GetInterfaceSafetyOptions", "args": [IID, ENABLED]}
//             {"method": "SetInterfaceSafetyOptions", "args": [IID, MASK, ENABLED]}
//   answer:   {"result": R, "error": E, "messages": [...], "grid": GRID}
//
// The session belongs to the thread that creates it: the control and every call
// run there.
#include <array>
#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "control/BRVPartsCtl.h"
#include "platform/MessageBox.h"

namespace brv {

// The longest request line answered, the same as the web page's body limit: a
// longer one is refused whole.
inline constexpr size_t kMaxRequestBytes = 64 * 1024;

// Reads the next request line from `in` (without its newline) into `line`;
// false at the end of the input. Of a line longer than kMaxRequestBytes only the
// first kMaxRequestBytes + 1 bytes are kept (enough for Handle to refuse it) and
// the rest is read and dropped, so no line takes more memory than that.
bool ReadRequestLine(std::istream& in, std::string& line);

// What the grid shows after the last SetSelectItem call that succeeded: the
// category, the instance (as the view counted it) and the count returned.
struct Selection {
  std::string category;
  int index = 0;
  int count = 0;
};

class ScriptSession {
 public:
  ScriptSession();
  ~ScriptSession();
  ScriptSession(const ScriptSession&) = delete;
  ScriptSession& operator=(const ScriptSession&) = delete;

  // The line that describes the control right after start-up.
  const nlohmann::ordered_json& Startup() const { return startup_; }
  // Answers one request line. Never throws for bad input: the answer carries the
  // error. A line is at most kMaxRequestBytes long and is read through
  // ParseJsonInput (bounded depth, no NUL, no member given twice).
  nlohmann::ordered_json Handle(std::string_view line);
  // True once any call (start-up included) failed.
  bool failed() const { return failed_; }
  // The selection of the last SetSelectItem call that succeeded, or nullopt
  // before the first.
  const std::optional<Selection>& selection() const { return selection_; }
  BRVPartsCtl& control() { return *control_; }

 private:
  nlohmann::ordered_json Answer(const nlohmann::ordered_json& result, const std::optional<Error>& error);
  nlohmann::ordered_json Call(const nlohmann::ordered_json& request);

  std::vector<nlohmann::ordered_json> boxes_;
  MessageBoxScope boxScope_;
  std::unique_ptr<BRVPartsCtl> control_;
  nlohmann::ordered_json startup_;
  std::optional<Selection> selection_;
  bool failed_ = false;
};

// The 16 bytes of an interface id written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
// (either letter case), as they lie in memory; nullopt when the text is not one.
std::optional<std::array<unsigned char, 16>> ParseGuid(std::string_view text);

// The variant a JSON value maps to: an integer that fits 32 bits gives a 32-bit
// integer, another number a double, a string a text, null a null, true/false a
// truth value, an array an array. An object has no variant: nullopt.
std::optional<Variant> VariantFromJson(const nlohmann::ordered_json& value);

}  // namespace brv
