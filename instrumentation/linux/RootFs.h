#pragma once
// The one way the live source reads the machine: every path is taken relative to
// a root directory ("/" on the machine itself, a captured tree in the tests), and
// symbolic links are followed inside that root the way the kernel would follow
// them in a chroot (an absolute target starts again at the root, ".." stops at
// it), so that nothing outside the root is ever read. A file that is missing,
// unreadable or not a regular file is absence, not failure.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace brv {

// A read-only view of a whole file, mapped rather than copied (for the
// megabyte-long id lists). The file is replaced, never rewritten in place, when
// its package is updated, so the view stays valid while it is held.
class MappedFile {
 public:
  MappedFile(const void* data, size_t size) : data_(data), size_(size) {}
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view text() const { return {static_cast<const char*>(data_), size_}; }

 private:
  const void* data_;
  size_t size_;
};

// Not to be shared between threads: it remembers the links and directories it
// has seen, so that the many reads below one device directory cost one walk.
// Make one per inventory (it costs nothing to make) so that a device added
// since is seen the next time.
class RootFs {
 public:
  explicit RootFs(std::string root = "/");

  const std::string& root() const { return root_; }

  // The canonical path (inside the root, starting with "/") with every link
  // followed; nothing when a component is missing or links loop.
  std::optional<std::string> Resolve(std::string_view path) const;

  // The whole content of a regular file, up to `limit` bytes; nothing when it
  // is missing, unreadable or not a regular file.
  std::optional<std::string> Read(std::string_view path, size_t limit = kDefaultLimit) const;
  // A regular file mapped whole; an empty file gives an empty view, a missing
  // or unreadable one nothing.
  std::shared_ptr<const MappedFile> Map(std::string_view path) const;
  // The first line of a file without surrounding blanks; nothing when the file
  // is absent (an empty line is an empty text).
  std::optional<std::string> ReadLine(std::string_view path) const;
  // A file holding one whole number (decimal, or hexadecimal with 0x).
  std::optional<int64_t> ReadInt(std::string_view path) const;

  // The names in a directory, in natural order (numbers by value: sda, sdb,
  // sdaa; nvme2n1 before nvme10n1), without "." and ".."; empty when it is
  // missing or not a directory.
  std::vector<std::string> List(std::string_view dir) const;
  bool Exists(std::string_view path) const;
  bool IsDirectory(std::string_view path) const;

  // The path of a canonical in-root path on the host file system.
  std::string HostPath(std::string_view canonical) const;
  // The path to open on the host for a path below the root; nullopt when it
  // does not resolve inside the root.
  std::optional<std::string> Locate(std::string_view path) const;
  int OpenFlags() const;

  static constexpr size_t kDefaultLimit = 4u << 20;

 private:
  std::string root_;  // without a trailing "/" ("" for the real root)
  // In-root paths already looked at: a link's target, "" for a directory or
  // file, nothing for a path that does not exist.
  mutable std::unordered_map<std::string, std::optional<std::string>> seen_;
};

// Path helpers for in-root paths.
std::string JoinPath(std::string_view dir, std::string_view name);
std::string_view BaseName(std::string_view path);
std::string_view DirName(std::string_view path);
// Natural order: runs of digits compare by value.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace brv
