#include "containers/send/DeviceId.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <fmt/format.h>

#include "common/Excerpt.h"
#include "common/Text.h"

namespace brv::send {
namespace fs = std::filesystem;

std::optional<std::string> DefaultStateFolder() {
  if (geteuid() == 0) return "/var/lib/brvparts";
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/') return std::string(xdg) + "/brvparts";
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    return std::string(home) + "/.local/state/brvparts";
  }
  return std::nullopt;
}

std::string DeviceHost(std::string_view host) {
  std::string out;
  for (char c : host.substr(0, 64)) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    out.push_back(plain ? c : '_');
  }
  return out.empty() ? "unknown" : out;
}

std::string MakeDeviceId(std::string_view host, std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H-%M-%S", &utc);
  return DeviceHost(host) + "-" + stamp;
}

bool IsDeviceId(std::string_view id) {
  static const std::regex kShape(R"(^[A-Za-z0-9._-]+-\d{4}(-\d{2}){5}$)");
  return id.size() <= 128 && std::regex_match(id.begin(), id.end(), kShape);
}

namespace {

// A firmware's text that names nothing: empty, one character repeated (zeros,
// F's), or a placeholder left in an unset field.
bool NamesNothing(std::string_view text) {
  text = Trim(text, " \t\r\n");
  std::string plain;
  for (char c : text) {
    if (c != '-' && c != ' ' && c != ':') plain.push_back(LowerAscii(c));
  }
  if (plain.empty() || plain.find_first_not_of(plain.front()) == std::string::npos) return true;
  static constexpr std::string_view kPlaceholders[] = {"tobefilledbyo.e.m.",
                                                       "tobefilledbyo.e.m",
                                                       "tobefilledbyoem",
                                                       "defaultstring",
                                                       "notspecified",
                                                       "systemserialnumber",
                                                       "0123456789",
                                                       "123456789",
                                                       "none",
                                                       "n/a",
                                                       "notapplicable",
                                                       "03000200040005000006000700080009",
                                                       "chassisserialnumber"};
  return std::find(std::begin(kPlaceholders), std::end(kPlaceholders), plain) != std::end(kPlaceholders);
}

// "54:E1:AD:12:34:56" (or with '-') as upper case with colons, for a
// globally assigned address of one adapter; nothing else.
std::optional<std::string> AdapterAddress(std::string_view text) {
  text = Trim(text);
  if (text.size() != 17) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i % 3 == 2) {
      if (c != ':' && c != '-') return std::nullopt;
      out.push_back(':');
    } else {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  const auto first = ParseInteger<unsigned>(out.substr(0, 2), 16).value_or(0);
  // Group (multicast) and locally administered addresses (bridges, virtual
  // adapters, randomized ones) belong to no one machine.
  if ((first & 0x03) != 0 || NamesNothing(out)) return std::nullopt;
  return out;
}

// The texts one caption of a category shows, sorted, each once, those that name nothing left out.
std::set<std::string> Shown(const nlohmann::ordered_json& categories, const char* category, const char* caption) {
  std::set<std::string> out;
  const auto found = categories.find(category);
  if (found == categories.end() || !found->is_array()) return out;
  for (const auto& instance : *found) {
    if (!instance.is_object()) continue;
    const auto value = instance.find(caption);
    if (value != instance.end() && value->is_string()) out.insert(value->get<std::string>());
  }
  return out;
}

std::string Joined(const std::set<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += (out.empty() ? "" : ",") + t;
  return out;
}

uint64_t Fnv1a(std::string_view text, uint64_t hash) {
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

// Makes `dir` and its parents: 0755 for root's state under /var/lib, 0700 for a user's.
void MakeFolders(const fs::path& dir) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return;
  if (dir.has_parent_path() && dir.parent_path() != dir) MakeFolders(dir.parent_path());
  if (mkdir(dir.c_str(), geteuid() == 0 ? 0755 : 0700) != 0 && errno != EEXIST) {
    throw DeviceIdError(Excerpt(dir.string(), 200) + ": cannot make the state folder: " + std::strerror(errno));
  }
}

}  // namespace

std::optional<std::string> MachineKey(const std::map<std::string, std::string>& identity,
                                      const nlohmann::ordered_json& categories, std::string_view host) {
  const auto known = [&](const char* name) -> std::string {
    const auto found = identity.find(name);
    return found == identity.end() || NamesNothing(found->second) ? "" : LowerAscii(Trim(found->second));
  };
  const std::string uuid = known("UUID"), serial = known("SerialNumber");
  if (!uuid.empty() || !serial.empty()) return "system:" + uuid + "/" + serial;
  std::set<std::string> addresses;
  for (const std::string& shown : Shown(categories, "Network Adapter", "MAC Address")) {
    if (const auto address = AdapterAddress(shown)) addresses.insert(*address);
  }
  if (!addresses.empty()) return "adapters:" + Joined(addresses) + "@" + LowerAscii(host);
  std::set<std::string> disks;
  for (const std::string& shown : Shown(categories, "HDD", "Serial No")) {
    if (!NamesNothing(shown)) disks.insert(std::string(Trim(shown)));
  }
  if (!disks.empty()) return "disks:" + Joined(disks);
  return std::nullopt;
}

std::string SnapshotIdFile(std::string_view key) {
  return fmt::format("snapshots/{:016x}{:016x}", Fnv1a(key, 14695981039346656037ull),
                     Fnv1a(key, 0x9E3779B97F4A7C15ull));
}

namespace {

// The ids kept in a state folder: this machine's and every snapshot's (at most
// 100,000 files looked at).
std::set<std::string> KeptIds(const fs::path& folder) {
  std::set<std::string> ids;
  const auto add = [&](const fs::path& file) {
    std::ifstream in(file);
    std::string id;
    if (in && std::getline(in, id) && IsDeviceId(id)) ids.insert(id);
  };
  std::error_code ec;
  if (fs::is_regular_file(folder / "device-id", ec)) add(folder / "device-id");
  size_t looked = 0;
  for (fs::directory_iterator it(folder / "snapshots", ec), end; !ec && it != end && looked < 100000;
       it.increment(ec), ++looked) {
    if (it->is_regular_file(ec) && it->file_size(ec) < 160) add(it->path());
  }
  return ids;
}

}  // namespace

std::string NewDeviceId(const std::string& folder, std::string_view host, std::time_t now) {
  const std::set<std::string> taken = KeptIds(folder);
  std::string id = MakeDeviceId(host, now);
  for (std::time_t later = now + 1; taken.count(id); ++later) id = MakeDeviceId(host, later);
  return id;
}

std::string KeptDeviceId(const std::string& folder, const std::string& name, std::string_view host, std::time_t now,
                         bool keep) {
  const fs::path file = fs::path(folder) / name;
  const std::string shown = Excerpt(file.string(), 200);
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    struct stat st {};
    char buffer[160];
    ssize_t got = -1;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size < static_cast<off_t>(sizeof buffer)) got = read(fd, buffer, sizeof buffer);
    close(fd);
    if (!regular) throw DeviceIdError(shown + ": not a regular file; remove it to start afresh as a new machine");
    std::string id(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    if (!IsDeviceId(id)) {
      throw DeviceIdError(
          shown + ": holds no device id (HOST-YYYY-MM-DD-HH-MM-SS); remove it to start afresh as a new machine");
    }
    return id;
  }
  if (errno != ENOENT) throw DeviceIdError(shown + ": cannot be read: " + std::strerror(errno));
  std::string id = NewDeviceId(folder, host, now);
  if (!keep) return id;
  MakeFolders(file.parent_path());
  // Written beside, then renamed: a report cut short leaves no half an id.
  const fs::path temporary = file.string() + ".new";
  const int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (out < 0) throw DeviceIdError(Excerpt(temporary.string(), 200) + ": cannot be written: " + std::strerror(errno));
  const std::string line = id + "\n";
  const bool written = write(out, line.data(), line.size()) == static_cast<ssize_t>(line.size()) && fsync(out) == 0;
  close(out);
  if (!written || rename(temporary.c_str(), file.c_str()) != 0) {
    const int saved = errno;
    unlink(temporary.c_str());
    throw DeviceIdError(shown + ": cannot be written: " + std::strerror(saved));
  }
  return id;
}

}  // namespace brv::send
