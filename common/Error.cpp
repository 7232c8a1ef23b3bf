#include "common/Error.h"

namespace brv {

std::string StandardDescription(int32_t number) {
  switch (number) {
    case err::kInvalidCall: return "Invalid procedure call or argument";
    case err::kOverflow: return "Overflow";
    case err::kSubscript: return "Subscript out of range";
    case err::kTypeMismatch: return "Type mismatch";
    case err::kObjectNotSet: return "Object variable not set";
    case err::kInvalidUseOfNull: return "Invalid use of Null";
    case err::kInvalidPropertyValue: return "Invalid property value";
    case err::kInvalidPropertyIndex: return "Invalid property array index";
    case err::kCannotCreateObject: return "Cannot create object";
    case err::kNoSuchMember: return "Object doesn't support this property or method";
    case err::kInternal: return "Internal error";
    case err::kWbemFailed: return "Generic failure";
    case err::kWbemNotFound: return "Not found";
    case err::kWbemInvalidClass: return "Invalid class";
    case err::kWbemInvalidQuery: return "Invalid query";
    case err::kRpcUnavailable: return "The RPC server is unavailable.";
    default: return {};
  }
}

void Raise(int32_t number, const std::string& detail) {
  std::string text = StandardDescription(number);
  if (!detail.empty()) text = text.empty() ? detail : text + ": " + detail;
  throw Error(number, text.empty() ? "Error " + std::to_string(number) : text);
}

}  // namespace brv
