#pragma once
// JSON from outside the program: script requests and snapshot files. Every such
// document is read here, so that none can make anything recurse deeply, hide the
// bytes after a NUL, or give one member twice and have the last silently win; and
// text from it that goes into a message is escaped and kept short.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/Excerpt.h"

namespace brv {

// The deepest nesting of arrays and objects a document may have. A snapshot
// needs five levels and a request three; 64 leaves room for both while keeping
// every walk over a value (its destructor too) far from the stack's end.
inline constexpr int kMaxJsonDepth = 64;

// A document refused. what() is the reason, fit for a one-line message; `where`
// names the member at fault ("classes.A[0].Name") when there is one, else
// `offset` is the byte (counted from 0) where reading stopped.
class JsonInputError : public std::runtime_error {
 public:
  JsonInputError(const std::string& reason, std::string member, size_t at)
      : std::runtime_error(reason), where(std::move(member)), offset(at) {}
  std::string where;
  size_t offset;
};

// Parses `text` as one JSON document. Refuses, with JsonInputError: a syntax
// error, a number too large for any type, nesting deeper than kMaxJsonDepth, a
// NUL byte, and a member name given twice in one object (exact case). Objects
// keep their members in document order; the whole read is linear in the text.
nlohmann::ordered_json ParseJsonInput(std::string_view text);

}  // namespace brv
