#include "common/JsonInput.h"

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace brv {
namespace {

using Json = nlohmann::ordered_json;

// Builds the document from the parser's events. The parser itself keeps an
// explicit stack, so nothing recurses while reading; this builder refuses to open
// a level past kMaxJsonDepth and a member name its object already has. Members
// are appended in order (the ordered object's own insert searches the members,
// which would make reading an object quadratic in its size).
// The check below cannot see through the document's destructor, which frees
// its values with an explicit stack and throws nothing.
class Builder {  // NOLINT(bugprone-exception-escape)
 public:
  using number_integer_t = Json::number_integer_t;
  using number_unsigned_t = Json::number_unsigned_t;
  using number_float_t = Json::number_float_t;
  using string_t = Json::string_t;
  using binary_t = Json::binary_t;

  bool null() { return Insert(nullptr) != nullptr; }
  bool boolean(bool v) { return Insert(v) != nullptr; }
  bool number_integer(number_integer_t v) { return Insert(v) != nullptr; }
  bool number_unsigned(number_unsigned_t v) { return Insert(v) != nullptr; }
  bool number_float(number_float_t v, const string_t&) { return Insert(v) != nullptr; }
  bool string(string_t& v) { return Insert(std::move(v)) != nullptr; }
  bool binary(binary_t&) { return false; }  // JSON text has no binary values
  bool start_object(size_t) { return Open(Json::object()); }
  bool start_array(size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(string_t& name) {
    if (!stack_.back().names.insert(name).second) {
      error_.emplace("given twice", PathTo(name), 0);
      return false;
    }
    key_ = std::move(name);
    return true;
  }

  bool parse_error(size_t position, const std::string&, const nlohmann::detail::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 1, column 5: syntax
    // error while parsing value - invalid literal; last read: 'nott'": the
    // position is told apart, and the text read (which may be the whole rest of
    // the input) is cut short.
    std::string_view what = e.what();
    if (const size_t id = what.find("] "); id != std::string_view::npos) what.remove_prefix(id + 2);
    if (what.starts_with("parse error")) {
      if (const size_t at = what.find(": "); at != std::string_view::npos) what.remove_prefix(at + 2);
    }
    const size_t quote = what.find('\'');
    std::string reason = "not valid JSON: " + Excerpt(what.substr(0, quote), 200);
    if (quote != std::string_view::npos) reason += Excerpt(what.substr(quote), 40);
    error_.emplace(reason, "", position == 0 ? 0 : position - 1);
    return false;
  }

  Json& document() { return root_; }
  const std::optional<JsonInputError>& error() const { return error_; }

 private:
  struct Level {
    Json* value;
    std::unordered_set<std::string> names;  // an object's member names so far
  };

  // Places a value in the open array or object (under the last key read), or as
  // the document; nullptr once refused.
  Json* Insert(Json&& value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& parent = *stack_.back().value;
    if (parent.is_array()) {
      auto& items = parent.get_ref<Json::array_t&>();
      items.push_back(std::move(value));
      return &items.back();
    }
    auto& members = parent.get_ref<Json::object_t&>();
    members.emplace_back(std::move(key_), std::move(value));
    return &members.back().second;
  }

  bool Open(Json&& container) {
    if (stack_.size() >= static_cast<size_t>(kMaxJsonDepth)) {
      error_.emplace(fmt::format("arrays and objects nested deeper than {} levels", kMaxJsonDepth), "", 0);
      return false;
    }
    stack_.push_back({Insert(std::move(container)), {}});
    return true;
  }

  bool Close() {
    stack_.pop_back();
    return true;
  }

  // The member `name` of the innermost object, written from the document down:
  // "classes.A[0].Name". Each open level is the last item of the one around it.
  std::string PathTo(std::string_view name) const {
    std::string path;
    for (size_t i = 0; i + 1 < stack_.size(); ++i) {
      const Json& level = *stack_[i].value;
      if (level.is_array()) {
        path += fmt::format("[{}]", level.size() - 1);
      } else {
        if (!path.empty()) path += '.';
        path += Excerpt(level.get_ref<const Json::object_t&>().back().first, 40);
      }
    }
    if (!path.empty()) path += '.';
    path += Excerpt(name, 40);
    // The innermost levels tell most; a path through dozens is cut at its start.
    if (path.size() > 160) {
      size_t cut = path.size() - 157;
      while (cut < path.size() && (static_cast<unsigned char>(path[cut]) & 0xC0) == 0x80) ++cut;
      path = "..." + path.substr(cut);
    }
    return path;
  }

  Json root_;
  std::vector<Level> stack_;
  std::string key_;
  std::optional<JsonInputError> error_;
};

// Where the text opens its (kMaxJsonDepth + 1)th level, counting brackets outside
// strings as the parser will: a document that deep is refused before it is read.
std::optional<size_t> TooDeepAt(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonDepth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::nullopt;
}

}  // namespace

nlohmann::ordered_json ParseJsonInput(std::string_view text) {
  // The parser takes a NUL for the end of the input and would ignore the rest.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) throw JsonInputError("a NUL byte", "", nul);
  if (const auto deep = TooDeepAt(text)) {
    throw JsonInputError(fmt::format("arrays and objects nested deeper than {} levels", kMaxJsonDepth), "", *deep);
  }
  Builder builder;
  const bool read = Json::sax_parse(text, &builder);
  if (builder.error()) throw *builder.error();
  if (!read) throw JsonInputError("not valid JSON", "", text.size());
  return std::move(builder.document());
}

}  // namespace brv
