#include "containers/cli/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include <fmt/format.h>

namespace brv {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, telling whether the close (the last chance to hear of a failed
  // write on some file systems) succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

void WriteFileWhole(const std::string& path, std::string_view text) {
  const auto fail = [&](const std::string& why) { return CaptureError(path + ": " + why); };
  const auto failed = [&](const std::string& what) { return fail(what + ": " + std::strerror(errno)); };
  const std::filesystem::path target(path);
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") throw fail("names no file");
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  const Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) throw failed("cannot open its folder");

  struct stat st {};
  if (fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(st.st_mode)) throw fail("a symbolic link; name the file itself");
    if (S_ISDIR(st.st_mode)) throw fail("a folder");
    if (!S_ISREG(st.st_mode)) throw fail("not a regular file (a device, pipe or socket); nothing was written");
  } else if (errno != ENOENT) {
    throw failed("cannot be looked at");
  }

  // A hidden name of our own; O_EXCL|O_NOFOLLOW: never an existing file, never a
  // link planted under that name.
  std::random_device random;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = fmt::format(".brvparts-{:08x}{:08x}.partial", random(), random());
    fd = openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) throw failed("cannot create a file in " + folder);
  }
  if (fd < 0) throw failed("cannot create a file in " + folder);
  Descriptor file(fd);
  const auto undo = [&](const std::string& what) {
    CaptureError error = failed(what);
    unlinkat(dir.get(), temp.c_str(), 0);
    return error;
  };
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(file.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw undo("cannot be written");
    done += static_cast<size_t>(n);
  }
  if (fsync(file.get()) != 0) throw undo("cannot be written (sync)");
  if (!file.Close()) throw undo("cannot be written (close)");
  if (renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) != 0) throw undo("cannot be replaced");
  // The rename lasts only once the folder is synced; a file system that cannot
  // sync folders says EINVAL.
  if (fsync(dir.get()) != 0 && errno != EINVAL) throw failed("written, but its folder could not be synced");
}

}  // namespace brv
