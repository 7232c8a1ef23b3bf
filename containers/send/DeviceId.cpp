#include "containers/send/DeviceId.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/Excerpt.h"

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

std::string KeptDeviceId(const std::string& folder, const std::string& name, std::string_view host, std::time_t now,
                         bool keep) {
  const fs::path file = fs::path(folder) / name;
  const std::string shown = Excerpt(file.string(), 200);
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    struct stat st {};
    char buffer[160];
    ssize_t got = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < static_cast<off_t>(sizeof buffer)) {
      got = read(fd, buffer, sizeof buffer);
    }
    close(fd);
    std::string id(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    while (!id.empty() && (id.back() == '\n' || id.back() == '\r')) id.pop_back();
    if (!IsDeviceId(id)) {
      throw DeviceIdError(
          shown + ": holds no device id (HOST-YYYY-MM-DD-HH-MM-SS); remove it to start afresh as a new machine");
    }
    return id;
  }
  if (errno != ENOENT) throw DeviceIdError(shown + ": cannot be read: " + std::strerror(errno));
  std::string id = MakeDeviceId(host, now);
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
