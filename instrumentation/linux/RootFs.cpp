#include "instrumentation/linux/RootFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <unordered_map>
#include <utility>

#include "common/Error.h"
#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// The target of the link `name` in `dir` ("" for the link `dir` itself, an
// O_PATH descriptor); nothing when it is no link or its target is too long.
std::optional<std::string> ReadLinkAt(int dir, const char* name) {
  char target[PATH_MAX];
  const ssize_t n = ::readlinkat(dir, name, target, sizeof target);
  if (n < 0 || static_cast<size_t>(n) >= sizeof target) return std::nullopt;
  return std::string(target, static_cast<size_t>(n));
}

// Pushes the non-empty components of `path` so that the first is taken last
// off the back.
void PushComponents(std::vector<std::string_view>& pending, std::string_view path) {
  size_t end = path.size();
  while (end > 0) {
    const size_t slash = path.rfind('/', end - 1);
    const size_t begin = slash == std::string_view::npos ? 0 : slash + 1;
    if (end > begin) pending.push_back(path.substr(begin, end - begin));
    if (slash == std::string_view::npos) break;
    end = slash;
  }
}

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

}  // namespace

// What a captured tree has shown of itself: a node per name looked at, in the
// shape of the canonical tree (links are nodes that hold their target; a
// folder's node holds an O_PATH descriptor, from which its own names are
// opened). A node's parent is its canonical parent, which is what ".." means.
class RootFs::Tree {
 public:
  struct Node {
    enum class Kind { kFolder, kLink, kFile, kMissing };
    Kind kind = Kind::kMissing;
    Node* parent = nullptr;
    std::string name;
    Fd fd;               // a folder's
    std::string target;  // a link's
    std::unordered_map<std::string, std::unique_ptr<Node>, NameHash, std::equal_to<>> children;
  };

  explicit Tree(const std::string& root) {
    root_.parent = &root_;  // ".." at the root stays there
    root_.kind = Node::Kind::kFolder;
    root_.fd = Fd(::open(root.empty() ? "/" : root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }

  // The object `path` names, every link followed inside the tree; nothing when
  // a component is missing or unreadable, links loop or a bound is passed.
  std::optional<Found> Walk(std::string_view path);

  // The canonical path of a folder's node.
  static std::string PathOf(const Node* node) {
    std::vector<const Node*> chain;
    for (; node->parent != node; node = node->parent) chain.push_back(node);
    std::string out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) out += "/" + (*it)->name;
    return out.empty() ? std::string("/") : out;
  }

 private:
  // Past these, everything seen is forgotten (descriptors closed) before the
  // next walk: a tree of many folders is walked again rather than held open.
  static constexpr size_t kMostNodes = 4096;
  static constexpr size_t kMostFolders = 128;

  Node* Add(Node* parent, std::string name, Node::Kind kind) {
    auto node = std::make_unique<Node>();
    node->kind = kind;
    node->parent = parent;
    node->name = name;
    Node* raw = node.get();
    parent->children.emplace(std::move(name), std::move(node));
    ++nodes_;
    if (kind == Node::Kind::kFolder) ++folders_;
    return raw;
  }

  Node root_;
  size_t nodes_ = 0, folders_ = 0;
};

struct RootFs::Found {
  Tree::Node* folder = nullptr;  // the folder named, or the one holding the object
  std::string name;              // the object's name in `folder`; empty when the path names the folder
  Fd fd;                         // the object's O_PATH descriptor, when it is not a folder
  struct stat st {};             // the object's type and size, when it is not a folder
};

std::optional<RootFs::Found> RootFs::Tree::Walk(std::string_view path) {
  using Kind = Node::Kind;
  if (root_.fd.get() < 0) return std::nullopt;
  if (nodes_ > kMostNodes || folders_ > kMostFolders) {
    root_.children.clear();
    nodes_ = folders_ = 0;
  }
  std::vector<std::string_view> pending;  // components still to walk, the next one at the back
  PushComponents(pending, path);
  Node* at = &root_;
  int steps = 0, links = 0;
  while (!pending.empty()) {
    const std::string_view part = pending.back();
    pending.pop_back();
    if (++steps > kMostSteps) return std::nullopt;
    if (part == ".") continue;
    if (part == "..") {
      at = at->parent;
      continue;
    }
    const bool last = pending.empty();
    Node* next = nullptr;
    if (const auto it = at->children.find(part); it != at->children.end()) {
      next = it->second.get();
    } else {
      if (part.size() > NAME_MAX || part.find('\0') != std::string_view::npos) return std::nullopt;
      std::string name(part);
      // A folder on the way is opened as one: a link or a file there fails
      // (ENOTDIR), and only then is its target asked.
      Fd fd(::openat(at->fd.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC | (last ? 0 : O_DIRECTORY)));
      if (fd.get() >= 0 && last) {
        Found found;
        if (::fstat(fd.get(), &found.st) != 0) return std::nullopt;
        if (S_ISLNK(found.st.st_mode)) {
          auto target = ReadLinkAt(fd.get(), "");
          if (!target) return std::nullopt;
          next = Add(at, std::move(name), Kind::kLink);
          next->target = std::move(*target);
        } else if (S_ISDIR(found.st.st_mode)) {
          next = Add(at, std::move(name), Kind::kFolder);
          next->fd = std::move(fd);
        } else {
          // Files are not kept: each read asks afresh.
          found.folder = at;
          found.name = std::move(name);
          found.fd = std::move(fd);
          return found;
        }
      } else if (fd.get() >= 0) {
        next = Add(at, std::move(name), Kind::kFolder);
        next->fd = std::move(fd);
      } else if (errno == ENOTDIR) {
        auto target = ReadLinkAt(at->fd.get(), name.c_str());
        if (target) {
          next = Add(at, std::move(name), Kind::kLink);
          next->target = std::move(*target);
        } else if (errno == EINVAL) {
          next = Add(at, std::move(name), Kind::kFile);
        } else {
          return std::nullopt;
        }
      } else if (errno == ENOENT) {
        next = Add(at, std::move(name), Kind::kMissing);
      } else {
        return std::nullopt;  // unreadable (EACCES), or changed under the walk
      }
    }
    switch (next->kind) {
      case Kind::kMissing: return std::nullopt;
      case Kind::kFolder: at = next; break;
      case Kind::kFile: {
        if (!last) return std::nullopt;
        Found found;
        found.fd = Fd(::openat(at->fd.get(), next->name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (found.fd.get() < 0 || ::fstat(found.fd.get(), &found.st) != 0) return std::nullopt;
        if (S_ISDIR(found.st.st_mode) || S_ISLNK(found.st.st_mode)) return std::nullopt;  // changed since
        found.folder = at;
        found.name = next->name;
        return found;
      }
      case Kind::kLink:
        if (++links > kMostLinks || next->target.empty()) return std::nullopt;
        if (next->target.front() == '/') at = &root_;
        PushComponents(pending, next->target);
        break;
    }
  }
  Found found;
  found.folder = at;
  return found;
}

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

RootFs::~RootFs() = default;

RootFs::Tree& RootFs::tree() const {
  if (!tree_) tree_ = std::make_unique<Tree>(root_);
  return *tree_;
}

namespace {

// The kernel resolves paths below the machine's own root by itself: a path
// from the program (never from a file's content holding a NUL) opened whole.
bool KernelPath(std::string_view path) { return path.find('\0') == std::string_view::npos; }

}  // namespace

std::optional<std::string> RootFs::Resolve(std::string_view path) const {
  // Below the real root the kernel follows the links itself: open the path
  // without reading it and ask /proc what it became (three system calls, where
  // the walk takes one or two per component). Without /proc, walk.
  if (root_.empty() && KernelPath(path)) {
    const Fd fd(::open(JoinPath("/", path).c_str(), O_PATH | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    const std::string link = "/proc/self/fd/" + std::to_string(fd.get());
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    if (n > 0 && static_cast<size_t>(n) < sizeof target && target[0] == '/') {
      return std::string(target, static_cast<size_t>(n));
    }
  }
  const std::optional<Found> found = tree().Walk(path);
  if (!found) return std::nullopt;
  if (found->name.empty()) return Tree::PathOf(found->folder);
  return JoinPath(Tree::PathOf(found->folder), found->name);
}

int RootFs::OpenToRead(std::string_view path, size_t& knownSize) const {
  knownSize = 0;
  if (root_.empty()) {
    // The paths read below the real root are the kernel's own files and the
    // system's, which only root can change: no type check (it would cost a
    // system call on every read). A device or FIFO there still cannot stall
    // the reader (it is opened non-blocking) or overrun it (the limit holds).
    if (!KernelPath(path)) return -1;
    return ::open(JoinPath("/", path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  }
  const std::optional<Found> found = tree().Walk(path);
  if (!found || found->fd.get() < 0 || !S_ISREG(found->st.st_mode)) return -1;
  knownSize = static_cast<size_t>(std::max<off_t>(found->st.st_size, 0));
  // The file the walk found, and no other, is opened for reading: its O_PATH
  // descriptor is opened again through /proc.
  const std::string self = "/proc/self/fd/" + std::to_string(found->fd.get());
  return ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

std::optional<std::string> RootFs::ReadUpTo(std::string_view path, size_t limit, bool wholeOnly, bool& whole) const {
  whole = false;
  size_t size = 0;
  const Fd fd(OpenToRead(path, size));
  if (fd.get() < 0 || (wholeOnly && size > limit)) return std::nullopt;
  std::string out;
  // procfs and sysfs report a size of 0 or 4096 whatever the content; read on
  // until the end.
  out.resize(std::min<size_t>(limit, size > 0 ? size : 4096));
  size_t used = 0;
  while (true) {
    if (used == out.size()) {
      if (used == limit) break;
      out.resize(std::min(limit, out.size() * 2));
    }
    const ssize_t n = ::read(fd.get(), out.data() + used, out.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;  // EIO and friends: sysfs attributes the device cannot give
    }
    if (n == 0) {
      whole = true;
      break;
    }
    used += static_cast<size_t>(n);
  }
  if (!whole) {
    // As much as the limit: whole only if nothing follows.
    char more;
    ssize_t n;
    do {
      n = ::read(fd.get(), &more, 1);
    } while (n < 0 && errno == EINTR);
    whole = n == 0;
  }
  out.resize(used);
  return out;
}

std::optional<std::string> RootFs::Read(std::string_view path, size_t limit) const {
  bool whole = false;
  std::optional<std::string> text = ReadUpTo(path, limit, true, whole);
  if (!whole) return std::nullopt;
  return text;
}

MappedFile::~MappedFile() {
  if (size_ > 0) ::munmap(const_cast<void*>(data_), size_);
}

std::shared_ptr<const MappedFile> RootFs::Map(std::string_view path) const {
  size_t ignored = 0;
  const Fd fd(OpenToRead(path, ignored));
  if (fd.get() < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return nullptr;
  const auto size = static_cast<size_t>(st.st_size);
  if (size > kMapLimit) return nullptr;
  if (size == 0) return std::make_shared<const MappedFile>(nullptr, 0);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (data == MAP_FAILED) return nullptr;
  return std::make_shared<const MappedFile>(data, size);
}

std::optional<std::string> RootFs::ReadLine(std::string_view path) const {
  bool whole = false;
  const std::optional<std::string> text = ReadUpTo(path, kLineLimit, false, whole);
  if (!text) return std::nullopt;
  const size_t eol = text->find('\n');
  if (eol == std::string::npos && !whole) return std::nullopt;
  return std::string(TrimText(std::string_view(*text).substr(0, eol)));
}

std::optional<int64_t> RootFs::ReadInt(std::string_view path) const {
  const std::optional<std::string> line = ReadLine(path);
  if (!line) return std::nullopt;
  return ParsePrefixedInteger<int64_t>(*line);
}

std::vector<std::string> RootFs::List(std::string_view dir, size_t most) const {
  std::vector<std::string> out;
  Fd fd;
  if (root_.empty()) {
    if (!KernelPath(dir)) return out;
    fd = Fd(::open(JoinPath("/", dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  } else {
    const std::optional<Found> found = tree().Walk(dir);
    if (!found || !found->name.empty()) return out;
    fd = Fd(::openat(found->folder->fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  if (fd.get() < 0) return out;
  DIR* d = ::fdopendir(fd.get());
  if (!d) return out;
  fd.release();
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    if (out.size() == most) {
      ::closedir(d);
      throw Error(err::kWbemFailed, "more than " + std::to_string(most) + " entries in " + std::string(dir));
    }
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
    return KernelPath(path) && ::stat(JoinPath("/", path).c_str(), &st) == 0;
  }
  return tree().Walk(path).has_value();
}

bool RootFs::IsDirectory(std::string_view path) const {
  if (root_.empty()) {
    struct stat st {};
    return KernelPath(path) && ::stat(JoinPath("/", path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  const std::optional<Found> found = tree().Walk(path);
  return found && found->name.empty();
}

}  // namespace brv
