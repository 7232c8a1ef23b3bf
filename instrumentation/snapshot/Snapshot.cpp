#include "instrumentation/snapshot/Snapshot.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unordered_set>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "common/Error.h"
#include "common/Excerpt.h"
#include "common/JsonInput.h"
#include "common/Path.h"
#include "common/Text.h"

namespace brv {
namespace {

using Json = nlohmann::ordered_json;

// A name from the file as it appears in a message: escaped and short.
std::string Shown(std::string_view name) { return Excerpt(name, 40); }

// Names told apart regardless of letter case, in constant time each: the reader
// meets every class and property of the file once.
class NameSet {
 public:
  // False when the name (in any letter case) was there already.
  bool Add(std::string_view name) { return names_.insert(LowerAscii(name)).second; }

 private:
  std::unordered_set<std::string> names_;
};

class Reader {
 public:
  explicit Reader(std::string origin) : origin_(std::move(origin)) {}

  [[noreturn]] void Refuse(const std::string& where, const std::string& what) const {
    throw SnapshotError(fmt::format("{}: {}{}", origin_, where.empty() ? "" : where + ": ", what));
  }

  // N: a number, or a text holding a hexadecimal number with 0x.
  int32_t ErrorNumber(const Json& j, const std::string& where) const {
    int64_t n = 0;
    if (j.is_number_integer()) {
      n = j.get<int64_t>();
    } else if (j.is_number_unsigned()) {
      if (j.get<uint64_t>() > 0xFFFFFFFFull) Refuse(where, "error number out of range");
      n = static_cast<int64_t>(j.get<uint64_t>());
    } else if (j.is_string()) {
      const std::string s = j.get<std::string>();
      if (s.size() < 3 || s.size() > 10 || (s.substr(0, 2) != "0x" && s.substr(0, 2) != "0X") ||
          s.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos) {
        Refuse(where, "error number \"" + Shown(s) + "\" is not a number or a 0x hexadecimal text");
      }
      n = static_cast<int64_t>(std::stoull(s.substr(2), nullptr, 16));
    } else {
      Refuse(where, "an error number must be a number or a 0x hexadecimal text");
    }
    if (n < std::numeric_limits<int32_t>::min() || n > 0xFFFFFFFFll) Refuse(where, "error number out of range");
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(n) & 0xFFFFFFFF));
  }

  static bool IsErrorForm(const Json& j) { return j.is_object() && j.size() == 1 && j.contains("$error"); }

  Variant Value(const Json& j, const std::string& where) const {
    switch (j.type()) {
      case Json::value_t::null: return Null{};
      case Json::value_t::boolean: return j.get<bool>();
      case Json::value_t::number_integer:
      case Json::value_t::number_unsigned: {
        if (j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
          return static_cast<double>(j.get<uint64_t>());
        }
        const int64_t v = j.get<int64_t>();
        if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
          return static_cast<int32_t>(v);
        }
        return v;
      }
      case Json::value_t::number_float: return j.get<double>();
      case Json::value_t::string: return j.get<std::string>();
      case Json::value_t::array: {
        Variant::Array items;
        for (size_t i = 0; i < j.size(); ++i) {
          if (j[i].is_array() || j[i].is_object()) Refuse(where, "an array holds only plain values");
          items.push_back(Value(j[i], where));
        }
        return items;
      }
      default: Refuse(where, "a property value must be null, a truth value, a number, a text or an array");
    }
  }

  Instance ReadInstance(const Json& j, const std::string& where) const {
    Instance instance;
    if (!j.is_object()) Refuse(where, "an instance must be an object of properties");
    if (IsErrorForm(j)) {
      instance.error = ErrorNumber(j["$error"], where);
      return instance;
    }
    NameSet names;
    for (const auto& [name, value] : j.items()) {
      const std::string at = where + "." + Shown(name);
      if (name.empty()) Refuse(where, "a property has no name");
      if (!names.Add(name)) Refuse(at, "the property is given twice");
      if (value.is_object()) {
        if (!IsErrorForm(value)) Refuse(at, "an object stands only for {\"$error\": N}");
        instance.properties.push_back({name, Null{}, ErrorNumber(value["$error"], at)});
      } else {
        instance.properties.push_back({name, Value(value, at), std::nullopt});
      }
    }
    return instance;
  }

  // {"host": TEXT, "time": TEXT}, either null or absent.
  Provenance ReadCaptured(const Json& j) const {
    if (!j.is_object()) Refuse("captured", "must be an object of \"host\" and \"time\"");
    Provenance p;
    for (const auto& [member, value] : j.items()) {
      const std::string at = "captured." + Shown(member);
      // A host name is at most 253 bytes; a time as capture writes it 20.
      const size_t most = member == "host" ? 253 : member == "time" ? 64 : 0;
      if (most == 0) Refuse(at, "unknown member");
      if (value.is_null()) continue;
      if (!value.is_string()) Refuse(at, "must be a text or null");
      const std::string text = value.get<std::string>();
      if (text.empty() || text.size() > most) Refuse(at, fmt::format("must be 1 to {} bytes long", most));
      (member == "host" ? p.host : p.time) = text;
    }
    return p;
  }

  Snapshot Read(const Json& doc) const {
    if (!doc.is_object()) Refuse("", "the document is not a JSON object");
    const auto format = doc.find("format");
    if (format == doc.end()) Refuse("", "no \"format\" member; expected \"" + std::string(kSnapshotFormat) + "\"");
    if (*format != kSnapshotFormat && *format != kSnapshotFormatV1) {
      Refuse("format", "expected \"" + std::string(kSnapshotFormat) + "\" or \"" + kSnapshotFormatV1 + "\", found " +
                           Shown(format->dump()));
    }
    const bool first = *format == kSnapshotFormatV1;
    Snapshot s;
    NameSet classes, keys;
    for (const auto& [member, value] : doc.items()) {
      if (member == "format") continue;
      if (member == "captured" && !first) {
        s.captured = ReadCaptured(value);
      } else if (member == "unreachable") {
        s.unreachable = ErrorNumber(value, "unreachable");
      } else if (member == "keys") {
        if (!value.is_object()) Refuse("keys", "must map class names to key property names");
        for (const auto& [cls, key] : value.items()) {
          if (!key.is_string()) Refuse("keys." + Shown(cls), "a key property name must be a text");
          if (!keys.Add(cls)) Refuse("keys." + Shown(cls), "the class is given twice");
          s.keys.emplace_back(cls, key.get<std::string>());
        }
      } else if (member == "classes") {
        if (!value.is_object()) Refuse("classes", "must map class names to their instances");
        for (const auto& [cls, answer] : value.items()) {
          const std::string at = "classes." + Shown(cls);
          if (!classes.Add(cls)) Refuse(at, "the class is given twice");
          ClassAnswer a;
          if (IsErrorForm(answer)) {
            a.error = ErrorNumber(answer["$error"], at);
          } else if (answer.is_array()) {
            for (size_t i = 0; i < answer.size(); ++i) {
              a.instances.push_back(ReadInstance(answer[i], fmt::format("{}[{}]", at, i)));
            }
          } else {
            Refuse(at, "a class must be a list of instances or {\"$error\": N}");
          }
          s.classes.emplace_back(cls, std::move(a));
        }
      } else {
        Refuse(Shown(member), "unknown member");
      }
    }
    return s;
  }

 private:
  std::string origin_;
};

}  // namespace

Snapshot ParseSnapshot(const std::string& text, const std::string& origin) {
  return SnapshotFromJson(ParseSnapshotJson(text, origin), origin);
}

Snapshot SnapshotFromJson(const Json& doc, const std::string& origin) { return Reader(origin).Read(doc); }

Json ParseSnapshotJson(const std::string& text, const std::string& origin) {
  try {
    return ParseJsonInput(text);
  } catch (const JsonInputError& e) {
    if (!e.where.empty()) throw SnapshotError(fmt::format("{}: {}: {}", origin, e.where, e.what()));
    // Line and column of the byte where reading stopped.
    size_t line = 1, column = 1;
    for (size_t i = 0; i < std::min(e.offset, text.size()); ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw SnapshotError(fmt::format("{}: line {}, column {}: {}", origin, line, column, e.what()));
  }
}

Snapshot ReadSnapshotFile(const std::string& path) { return ParseSnapshot(ReadSnapshotText(path), path); }

std::string ReadSnapshotText(const std::string& path) {
  const auto refuse = [&](const std::string& why) { return SnapshotError(path + ": " + why); };
  const std::string tooLarge = fmt::format("larger than {} MiB, more than any snapshot", kMaxSnapshotBytes >> 20);
  std::string text;
#ifndef _WIN32
  // Opened without waiting (a FIFO would wait for a writer) and looked at before
  // anything is read: only a regular file is read, and never past the bound.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw refuse(std::string("cannot be read: ") + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0) throw refuse(std::string("cannot be read: ") + std::strerror(errno));
  if (!S_ISREG(st.st_mode)) throw refuse(S_ISDIR(st.st_mode) ? "a folder, not a snapshot" : "not a regular file");
  if (static_cast<uint64_t>(st.st_size) > kMaxSnapshotBytes) throw refuse(tooLarge);
  text.resize(static_cast<size_t>(st.st_size) + 1);
  size_t used = 0;
  // Reads to the end even if the file has grown since, up to one byte past the bound.
  for (;;) {
    if (used == text.size()) {
      if (text.size() > kMaxSnapshotBytes) throw refuse(tooLarge);
      text.resize(std::min<size_t>(text.size() * 2, kMaxSnapshotBytes + 1));
    }
    const ssize_t n = read(fd, text.data() + used, text.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw refuse(std::string("cannot be read: ") + std::strerror(errno));
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  text.resize(used);
#else
  std::error_code ec;
  const std::filesystem::path file = PathFromUtf8(path);
  if (!std::filesystem::exists(file, ec)) throw refuse("cannot be read");
  if (!std::filesystem::is_regular_file(file, ec)) throw refuse("not a regular file");
  const uintmax_t size = std::filesystem::file_size(file, ec);
  if (ec) throw refuse("cannot be read");
  if (size > kMaxSnapshotBytes) throw refuse(tooLarge);
  std::ifstream in(file, std::ios::binary);
  if (!in) throw refuse("cannot be read");
  text.resize(static_cast<size_t>(size) + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw refuse("cannot be read");
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxSnapshotBytes) throw refuse(tooLarge);
#endif
  return text;
}

namespace {

Json ToJson(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null: return nullptr;
    case Variant::Kind::Int16: return v.get<int16_t>();
    case Variant::Kind::Int32: return v.get<int32_t>();
    case Variant::Kind::Int64: return v.get<int64_t>();
    case Variant::Kind::Double: return std::isfinite(v.get<double>()) ? Json(v.get<double>()) : Json(nullptr);
    case Variant::Kind::Bool: return v.get<bool>();
    case Variant::Kind::Text: return v.get<std::string>();
    case Variant::Kind::Array: {
      Json a = Json::array();
      for (const Variant& item : v.get<Variant::Array>()) a.push_back(ToJson(item));
      return a;
    }
  }
  return nullptr;
}

Json ErrorJson(int32_t number) { return Json{{"$error", fmt::format("0x{:08X}", static_cast<uint32_t>(number))}}; }

}  // namespace

std::string WriteSnapshot(const Snapshot& s) {
  Json doc = Json::object();
  doc["format"] = kSnapshotFormat;
  if (s.captured.host || s.captured.time) {
    Json captured = Json::object();
    if (s.captured.host) captured["host"] = *s.captured.host;
    if (s.captured.time) captured["time"] = *s.captured.time;
    doc["captured"] = std::move(captured);
  }
  if (s.unreachable) doc["unreachable"] = ErrorJson(*s.unreachable)["$error"];
  if (!s.keys.empty()) {
    Json keys = Json::object();
    for (const auto& [cls, key] : s.keys) keys[cls] = key;
    doc["keys"] = keys;
  }
  Json classes = Json::object();
  for (const auto& [cls, answer] : s.classes) {
    if (answer.error) {
      classes[cls] = ErrorJson(*answer.error);
      continue;
    }
    Json list = Json::array();
    for (const Instance& instance : answer.instances) {
      if (instance.error) {
        list.push_back(ErrorJson(*instance.error));
        continue;
      }
      Json object = Json::object();
      for (const Property& p : instance.properties) object[p.name] = p.error ? ErrorJson(*p.error) : ToJson(p.value);
      list.push_back(std::move(object));
    }
    classes[cls] = std::move(list);
  }
  doc["classes"] = std::move(classes);
  return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

// The first instance of each text of `key`, as sifting in order finds it;
// null when an instance failed, or a value has no text (the sifting fails there).
std::shared_ptr<const std::unordered_map<std::string, size_t>> IndexOf(const ClassAnswer& answer,
                                                                       std::string_view key) {
  auto index = std::make_shared<std::unordered_map<std::string, size_t>>();
  try {
    for (size_t i = 0; i < answer.instances.size(); ++i) {
      const Instance& instance = answer.instances[i];
      if (instance.error) return nullptr;
      const Property* p = instance.Find(key);
      if (!p || p->error || p->value.IsNull() || p->value.IsArray()) continue;
      index->emplace(TextOf(p->value), i);
    }
  } catch (const std::exception&) {
    return nullptr;
  }
  return index;
}

}  // namespace

SnapshotSource::SnapshotSource(Snapshot snapshot)
    : captured_(std::move(snapshot.captured)), unreachable_(snapshot.unreachable) {
  for (auto& [cls, key] : snapshot.keys) keys_[LowerAscii(cls)] = key;
  for (auto& [cls, answer] : snapshot.classes) {
    classes_[LowerAscii(cls)] = std::make_shared<const ClassAnswer>(std::move(answer));
  }
}

std::shared_ptr<SnapshotSource> SnapshotSource::FromFile(const std::string& path) {
  return std::make_shared<SnapshotSource>(ReadSnapshotFile(path));
}

std::shared_ptr<const ClassAnswer> SnapshotSource::Query(std::string_view className) const {
  if (auto it = classes_.find(LowerAscii(className)); it != classes_.end()) return it->second;
  static const auto kMissing = std::make_shared<const ClassAnswer>(ClassAnswer{err::kWbemInvalidClass, {}});
  return kMissing;
}

std::shared_ptr<const ClassAnswer> SnapshotSource::QueryByKey(std::string_view className, std::string_view key,
                                                              std::string_view value) const {
  std::shared_ptr<const ClassAnswer> whole = Query(className);
  if (whole->error || whole->instances.size() < 16) return whole;
  std::shared_ptr<const KeyIndex> index;
  {
    const std::lock_guard<std::mutex> lock(indexLock_);
    const auto [entry, fresh] = indexes_.try_emplace(LowerAscii(className) + '\0' + LowerAscii(key));
    if (fresh) entry->second = IndexOf(*whole, key);
    index = entry->second;
  }
  if (!index) return whole;
  const auto found = index->find(std::string(value));
  auto answer = std::make_shared<ClassAnswer>();
  if (found != index->end()) answer->instances.push_back(whole->instances[found->second]);
  return answer;
}

std::optional<std::string> SnapshotSource::KeyProperty(std::string_view className) const {
  if (auto it = keys_.find(LowerAscii(className)); it != keys_.end()) return it->second;
  return std::nullopt;
}

}  // namespace brv
