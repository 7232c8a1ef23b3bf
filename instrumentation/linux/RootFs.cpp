#include "instrumentation/linux/RootFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "instrumentation/linux/FirmwareText.h"

namespace brv {
namespace {

// Splits a path into its non-empty components.
std::vector<std::string> Components(std::string_view path) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string_view::npos) slash = path.size();
    if (slash > at) out.emplace_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return out;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  // The next run of digits or of other characters at `i`.
  auto run = [&](std::string_view s, size_t& i) {
    const size_t begin = i;
    const bool d = digit(s[i]);
    while (i < s.size() && digit(s[i]) == d) ++i;
    return s.substr(begin, i - begin);
  };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::string_view x = run(a, i), y = run(b, j);
    const bool dx = digit(x.front()), dy = digit(y.front());
    if (dx != dy) return dx;
    if (dx) {
      while (x.size() > 1 && x.front() == '0') x.remove_prefix(1);
      while (y.size() > 1 && y.front() == '0') y.remove_prefix(1);
    }
    // Numbers by value, and names by length first, the way the kernel counts
    // them out: sdz before sdaa, nvme2n1 before nvme10n1.
    if (x.size() != y.size()) return x.size() < y.size();
    if (const int c = x.compare(y); c != 0) return c < 0;
  }
  return a.size() - i < b.size() - j;
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (out.empty() || out.back() != '/') out.push_back('/');
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  out.append(name);
  return out;
}

std::string_view BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view DirName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

RootFs::RootFs(std::string root) : root_(std::move(root)) {
  while (!root_.empty() && root_.back() == '/') root_.pop_back();
}

std::string RootFs::HostPath(std::string_view canonical) const {
  std::string out = root_;
  if (canonical.empty() || canonical.front() != '/') out.push_back('/');
  out.append(canonical);
  return out;
}

std::optional<std::string> RootFs::Resolve(std::string_view path) const {
  // Below the real root the kernel follows the links itself: open the path
  // without reading it and ask /proc what it became (three system calls, where
  // the walk takes one or two per component). Without /proc, walk.
  if (root_.empty()) {
    const Fd fd(::open(JoinPath("/", path).c_str(), O_PATH | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    const std::string link = "/proc/self/fd/" + std::to_string(fd.get());
    char target[4096];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    if (n > 0 && static_cast<size_t>(n) < sizeof target && target[0] == '/') {
      return std::string(target, static_cast<size_t>(n));
    }
  }
  // Work list of components still to walk; a link's target is spliced in front.
  std::vector<std::string> pending = Components(path);
  std::reverse(pending.begin(), pending.end());
  std::vector<std::string> done;  // resolved components so far
  int links = 0;
  while (!pending.empty()) {
    std::string part = std::move(pending.back());
    pending.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      if (!done.empty()) done.pop_back();  // ".." at the root stays at the root
      continue;
    }
    std::string current;
    for (const std::string& d : done) current += "/" + d;
    current += "/" + part;
    auto known = seen_.find(current);
    if (known == seen_.end()) {
      const std::string host = HostPath(current);
      struct stat st {};
      std::optional<std::string> entry;
      if (::lstat(host.c_str(), &st) == 0) {
        entry = std::string();
        if (S_ISLNK(st.st_mode)) {
          std::string target(4096, '\0');
          const ssize_t n = ::readlink(host.c_str(), target.data(), target.size());
          if (n <= 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
          target.resize(static_cast<size_t>(n));
          entry = std::move(target);
        }
      }
      known = seen_.emplace(current, std::move(entry)).first;
    }
    if (!known->second) return std::nullopt;
    if (known->second->empty()) {
      done.push_back(std::move(part));
      continue;
    }
    const std::string target = *known->second;
    if (++links > 40) return std::nullopt;
    if (target.front() == '/') done.clear();  // absolute: from the root again
    std::vector<std::string> more = Components(target);
    for (auto it = more.rbegin(); it != more.rend(); ++it) pending.push_back(std::move(*it));
  }
  std::string out;
  for (const std::string& d : done) out += "/" + d;
  return out.empty() ? std::string("/") : out;
}

std::optional<std::string> RootFs::Locate(std::string_view path) const {
  // Below the real root nothing can lead outside it, and the kernel resolves a
  // path exactly as Resolve does: the walk, a system call per component, is
  // only needed to keep a captured tree's links inside the tree.
  if (root_.empty()) return JoinPath("/", path);
  const std::optional<std::string> canonical = Resolve(path);
  if (!canonical) return std::nullopt;
  return HostPath(*canonical);
}

int RootFs::OpenFlags() const {
  // Non-blocking, so that a FIFO or device never stalls the reader (the checks
  // after opening refuse anything but a file), and inside a captured tree
  // without following a last-moment link.
  return O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (root_.empty() ? 0 : O_NOFOLLOW);
}

std::optional<std::string> RootFs::Read(std::string_view path, size_t limit) const {
  const std::optional<std::string> host = Locate(path);
  if (!host) return std::nullopt;
  const Fd fd(::open(host->c_str(), OpenFlags()));
  if (fd.get() < 0) return std::nullopt;
  // In a captured tree anything may stand where a file is expected, so only a
  // regular file is read. Below the real root the paths read are the kernel's
  // own files and the system's, and the check would cost a system call on
  // every read; a device or FIFO there still cannot stall the reader (it is
  // opened non-blocking) or overrun it (the limit holds).
  size_t size = 0;
  if (!root_.empty()) {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    size = static_cast<size_t>(std::max<off_t>(st.st_size, 0));
  }
  std::string out;
  // procfs and sysfs report a size of 0 or 4096 whatever the content; read on
  // until the end.
  out.resize(std::min<size_t>(limit, size > 0 ? size + 1 : 4096));
  size_t used = 0;
  while (used < limit) {
    if (used == out.size()) out.resize(std::min(limit, out.size() * 2));
    const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;  // EIO and friends: sysfs attributes the device cannot give
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  out.resize(used);
  return out;
}

MappedFile::~MappedFile() {
  if (size_ > 0) ::munmap(const_cast<void*>(data_), size_);
}

std::shared_ptr<const MappedFile> RootFs::Map(std::string_view path) const {
  const std::optional<std::string> host = Locate(path);
  if (!host) return nullptr;
  const Fd fd(::open(host->c_str(), OpenFlags()));
  if (fd.get() < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return nullptr;
  const auto size = static_cast<size_t>(st.st_size);
  if (size == 0) return std::make_shared<const MappedFile>(nullptr, 0);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (data == MAP_FAILED) return nullptr;
  return std::make_shared<const MappedFile>(data, size);
}

std::optional<std::string> RootFs::ReadLine(std::string_view path) const {
  std::optional<std::string> text = Read(path, 64 * 1024);
  if (!text) return std::nullopt;
  const size_t eol = text->find('\n');
  return std::string(TrimText(std::string_view(*text).substr(0, eol)));
}

std::optional<int64_t> RootFs::ReadInt(std::string_view path) const {
  const std::optional<std::string> line = ReadLine(path);
  if (!line) return std::nullopt;
  std::string_view s = *line;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return v;
}

std::vector<std::string> RootFs::List(std::string_view dir) const {
  std::vector<std::string> out;
  const std::optional<std::string> host = Locate(dir);
  if (!host) return out;
  DIR* d = ::opendir(host->c_str());
  if (!d) return out;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    out.emplace_back(name);
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const std::string& x, const std::string& y) {
    return NaturalLess(x, y) || (!NaturalLess(y, x) && x < y);
  });
  return out;
}

bool RootFs::Exists(std::string_view path) const {
  if (root_.empty()) {
    struct stat st {};
    return ::stat(JoinPath("/", path).c_str(), &st) == 0;
  }
  return Resolve(path).has_value();
}

bool RootFs::IsDirectory(std::string_view path) const {
  const std::optional<std::string> host = Locate(path);
  if (!host) return false;
  struct stat st {};
  return ::stat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace brv
