#pragma once
// The one way the live source reads the machine: every path is taken relative to
// a root directory ("/" on the machine itself, a captured tree in the tests or
// given with --sysroot), and symbolic links are followed inside that root the
// way the kernel would follow them in a chroot (an absolute target starts again
// at the root, ".." stops at it), so that nothing outside the root is ever read.
// A file that is missing, unreadable, not a regular file or larger than its
// bound is absence, not failure.
//
// Below a captured tree, which whoever made it may change while it is read,
// the path is walked one component at a time from a descriptor of the root,
// each component opened without following it (O_PATH | O_NOFOLLOW) from the
// descriptor of the one before, and links are resolved here, not by the
// kernel: swapping a folder for a link between two steps cannot lead the walk
// outside the tree. A file's type is checked on the descriptor of the walk
// before it is opened for reading (again, through /proc/self/fd: without
// /proc a captured tree's files read as absent), so no device, FIFO or socket
// is ever opened.
// Every walk is bounded (links, components), and so is every file read,
// mapped or listed: a hostile tree costs at most a bounded amount of work.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// Not to be shared between threads: below a captured tree it remembers the
// folders (with a descriptor of each), links and missing names it has seen, so
// that the many reads below one device directory cost one walk. Make one per
// inventory (it costs nothing to make) so that a device added since is seen
// the next time.
class RootFs {
 public:
  explicit RootFs(std::string root = "/");
  ~RootFs();
  RootFs(const RootFs&) = delete;
  RootFs& operator=(const RootFs&) = delete;

  // "" for the machine's own root, else the root as given without a trailing "/".
  const std::string& root() const { return root_; }

  // The canonical path (inside the root, starting with "/") with every link
  // followed; nothing when a component is missing, links loop or a bound is passed.
  std::optional<std::string> Resolve(std::string_view path) const;

  // The whole content of a regular file; nothing when it is missing,
  // unreadable, not a regular file or longer than `limit` bytes (a cut file
  // would pass for a whole one).
  std::optional<std::string> Read(std::string_view path, size_t limit = kDefaultLimit) const;
  // A regular file of at most kMapLimit bytes mapped whole; an empty file gives
  // an empty view, a missing, unreadable or larger one nothing.
  std::shared_ptr<const MappedFile> Map(std::string_view path) const;
  // The first line of a file without surrounding blanks; nothing when the file
  // is absent or its first line is longer than kLineLimit (an empty line is an
  // empty text).
  std::optional<std::string> ReadLine(std::string_view path) const;
  // A file holding one whole number (decimal, or hexadecimal with 0x).
  std::optional<int64_t> ReadInt(std::string_view path) const;

  // The names in a directory, in natural order (numbers by value: sda, sdb,
  // sdaa; nvme2n1 before nvme10n1), without "." and ".."; empty when it is
  // missing or not a directory. A directory holding more than `most` names
  // raises the service's failure (Error, 0x80041001) rather than answer a part
  // of them as if it were all.
  std::vector<std::string> List(std::string_view dir, size_t most = kMostEntries) const;
  bool Exists(std::string_view path) const;
  bool IsDirectory(std::string_view path) const;

  // Whole files: cpuinfo, the firmware table, /proc/net's tables.
  static constexpr size_t kDefaultLimit = 4u << 20;
  // A first line (a sysfs attribute holds at most a page).
  static constexpr size_t kLineLimit = 16u << 10;
  // A mapped file (hwdata's id lists, 1.4 MB for the longest today).
  static constexpr size_t kMapLimit = 16u << 20;
  // Names in one directory.
  static constexpr size_t kMostEntries = 4096;
  // Per path resolved below a captured tree: links followed (the kernel's own
  // limit), and components stepped through, links' targets included (which
  // bounds the depth too: sysfs's deepest device paths are some 20 folders).
  static constexpr int kMostLinks = 40;
  static constexpr int kMostSteps = 256;

 private:
  class Tree;
  struct Found;
  Tree& tree() const;
  // The descriptor to read a regular file from (-1 when there is none), and its
  // size where it is known (0 otherwise).
  int OpenToRead(std::string_view path, size_t& knownSize) const;
  // At most `limit` bytes from the start of a file; `whole` tells whether that
  // was all of it. With `wholeOnly`, a file known to be longer is not read.
  std::optional<std::string> ReadUpTo(std::string_view path, size_t limit, bool wholeOnly, bool& whole) const;

  std::string root_;
  mutable std::unique_ptr<Tree> tree_;  // made on first use
};

// Path helpers for in-root paths.
std::string JoinPath(std::string_view dir, std::string_view name);
std::string_view BaseName(std::string_view path);
std::string_view DirName(std::string_view path);
// Natural order: runs of digits compare by value.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace brv
