#include "containers/common/ScriptSession.h"

#include <limits>

#include "common/Category.h"
#include "common/JsonInput.h"
#include "containers/common/GridJson.h"

namespace brv {

using json = nlohmann::ordered_json;

namespace {

json ErrorJson(const std::optional<Error>& e) {
  if (!e) return nullptr;
  return json{{"number", e->number()}, {"description", e->description()}};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A by-reference 32-bit option set given by the script: signed or unsigned 32
// bits. (A whole number past the signed 64-bit range is read unsigned, so it is
// compared as one and never wraps into range.)
uint32_t OptionSet(const json& v, const char* what) {
  const bool fits = v.is_number_unsigned()  ? v.get<uint64_t>() <= std::numeric_limits<uint32_t>::max()
                    : v.is_number_integer() ? v.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
                                                  v.get<int64_t>() <= std::numeric_limits<uint32_t>::max()
                                            : false;
  if (!fits) Raise(err::kTypeMismatch, std::string(what) + " must be a 32-bit whole number");
  return v.is_number_unsigned() ? static_cast<uint32_t>(v.get<uint64_t>()) : static_cast<uint32_t>(v.get<int64_t>());
}

}  // namespace

bool ReadRequestLine(std::istream& in, std::string& line) {
  line.resize(kMaxRequestBytes + 2);
  in.getline(line.data(), static_cast<std::streamsize>(line.size()));
  const auto read = static_cast<size_t>(in.gcount());
  if (in.fail() && !in.eof() && read == line.size() - 1) {
    // Longer than the buffer: the rest of the line is read and dropped.
    in.clear();
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    line.resize(read);
    return true;
  }
  if (read == 0 && (in.eof() || in.fail())) {
    line.clear();
    return false;
  }
  // gcount counts the newline taken, which getline does not store.
  line.resize(in.eof() ? read : read - 1);
  in.clear(in.rdstate() & ~std::ios::failbit);
  return true;
}

std::optional<std::array<unsigned char, 16>> ParseGuid(std::string_view t) {
  // {00020400-0000-0000-C000-000000000046}
  if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' || t[24] != '-') {
    return std::nullopt;
  }
  std::array<unsigned char, 16> raw{};
  // Digits in text order, and where each byte goes: the first three fields are
  // little-endian integers, the last eight bytes are in storage order.
  static constexpr int kTextPos[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};
  static constexpr int kByte[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) {
    const int hi = HexDigit(t[kTextPos[i]]), lo = HexDigit(t[kTextPos[i] + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    raw[kByte[i]] = static_cast<unsigned char>(hi << 4 | lo);
  }
  return raw;
}

std::optional<Variant> VariantFromJson(const json& v) {
  switch (v.type()) {
    case json::value_t::null: return Variant(Null{});
    case json::value_t::boolean: return Variant(v.get<bool>());
    case json::value_t::number_integer:
      if (v.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
          v.get<int64_t>() <= std::numeric_limits<int32_t>::max()) {
        return Variant(static_cast<int32_t>(v.get<int64_t>()));
      }
      return Variant(v.get<double>());
    case json::value_t::number_unsigned:
      // Read as unsigned: taken as signed, the largest would wrap to small ones.
      if (v.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        return Variant(static_cast<int32_t>(v.get<uint64_t>()));
      }
      return Variant(v.get<double>());
    case json::value_t::number_float: return Variant(v.get<double>());
    case json::value_t::string: return Variant(v.get<std::string>());
    case json::value_t::array: {
      Variant::Array items;
      for (const json& item : v) {
        auto mapped = VariantFromJson(item);
        if (!mapped) return std::nullopt;
        items.push_back(std::move(*mapped));
      }
      return Variant(std::move(items));
    }
    default: return std::nullopt;
  }
}

ScriptSession::ScriptSession()
    : boxScope_([this](const std::string& prompt, const std::string& title, int32_t) {
        boxes_.push_back(json{{"prompt", prompt}, {"title", title}});
      }) {
  control_ = std::make_unique<BRVPartsCtl>();
  const auto& error = control_->startupError();
  failed_ = error.has_value();
  startup_ = json{{"startup", true},
                  {"error", ErrorJson(error)},
                  {"messages", std::move(boxes_)},
                  {"grid", GridToJson(control_->MSHFlexGrid1().State())}};
  boxes_.clear();
}

ScriptSession::~ScriptSession() = default;

json ScriptSession::Answer(const json& result, const std::optional<Error>& error) {
  if (error) failed_ = true;
  json answer{{"result", result},
              {"error", ErrorJson(error)},
              {"messages", std::move(boxes_)},
              {"grid", GridToJson(control_->MSHFlexGrid1().State())}};
  boxes_.clear();
  return answer;
}

json ScriptSession::Call(const json& request) {
  if (!request.is_object()) Raise(err::kInvalidCall, "a request must be a JSON object");
  const auto method = request.find("method");
  if (method == request.end() || !method->is_string()) Raise(err::kInvalidCall, "a request names its \"method\"");
  const auto argsAt = request.find("args");
  const json args = argsAt == request.end() ? json::array() : *argsAt;
  if (!args.is_array()) Raise(err::kInvalidCall, "\"args\" must be a list");
  const std::string name = method->get<std::string>();

  if (name == "SetSelectItem") {
    std::vector<Variant> values;
    for (const json& a : args) {
      auto v = VariantFromJson(a);
      if (!v) Raise(err::kTypeMismatch, "an argument has no variant form");
      values.push_back(std::move(*v));
    }
    const int16_t count = ToInt16(control_->Call(name, values));
    // The view counts the instance as it does here. A name that is no category
    // runs no collector: the grid shows the category it showed, at the new index.
    const int index = ToInt16(Subtract(values[1], 1)) + 1;
    const std::string category = values[0].get<std::string>();
    if (CategoryNamed(category)) {
      selection_ = Selection{category, index, count};
    } else if (selection_) {
      selection_->index = index;
    }
    return json(count);
  }
  if (name == "GetInterfaceSafetyOptions" || name == "SetInterfaceSafetyOptions") {
    const bool get = name == "GetInterfaceSafetyOptions";
    if (args.size() != (get ? 2u : 3u)) Raise(err::kInvalidCall, name + " takes " + (get ? "2" : "3") + " arguments");
    std::optional<std::array<unsigned char, 16>> iid;
    if (!args[0].is_null()) {
      if (!args[0].is_string() || !(iid = ParseGuid(args[0].get<std::string>()))) {
        Raise(err::kInvalidCall, "the interface id must be a braced GUID text or null");
      }
    }
    const void* riid = iid ? iid->data() : nullptr;
    if (get) {
      uint32_t supported = 0, enabled = OptionSet(args[1], "ENABLED");
      const int32_t hr = control_->IObjectSafety_GetInterfaceSafetyOptions(riid, supported, enabled);
      return json{{"hr", static_cast<uint32_t>(hr)}, {"supported", supported}, {"enabled", enabled}};
    }
    const int32_t hr = control_->IObjectSafety_SetInterfaceSafetyOptions(riid, OptionSet(args[1], "MASK"),
                                                                         OptionSet(args[2], "ENABLED"));
    return json{{"hr", static_cast<uint32_t>(hr)}, {"supported", nullptr}, {"enabled", nullptr}};
  }
  Raise(err::kNoSuchMember, "unknown method \"" + Excerpt(name) + "\"");
}

json ScriptSession::Handle(std::string_view line) {
  if (line.size() > kMaxRequestBytes) {
    return Answer(nullptr, Error(err::kInvalidCall, "the request is longer than " + std::to_string(kMaxRequestBytes) +
                                                        " bytes: " + Excerpt(line, 32)));
  }
  json request;
  try {
    request = ParseJsonInput(line);
  } catch (const JsonInputError& e) {
    // Malformed text, numbers too large for any type ("1e999"), nesting too deep,
    // a NUL byte, a member given twice.
    const std::string where = e.where.empty() ? "column " + std::to_string(e.offset + 1) : e.where;
    return Answer(nullptr, Error(err::kInvalidCall, "the request is refused: " + where + ": " + e.what()));
  }
  try {
    return Answer(Call(request), std::nullopt);
  } catch (const Error& e) {
    return Answer(nullptr, e);
  } catch (const std::exception& e) {
    return Answer(nullptr, Error(err::kInternal, e.what()));
  }
}

}  // namespace brv
