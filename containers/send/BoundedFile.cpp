#include "containers/send/BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "common/Excerpt.h"

namespace brv::send {

std::string ReadBoundedFile(const std::string& path, size_t limit, const char* what) {
  const auto refuse = [&](const std::string& why) { return FileError(Excerpt(path, 200) + ": " + what + ": " + why); };
  // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw refuse(fmt::format("cannot be read: {}", std::strerror(errno)));
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat st {};
  if (fstat(fd, &st) != 0) throw refuse(fmt::format("cannot be read: {}", std::strerror(errno)));
  if (!S_ISREG(st.st_mode)) {
    throw refuse(S_ISDIR(st.st_mode)    ? "a folder, not a file"
                 : S_ISFIFO(st.st_mode) ? "a FIFO, not a regular file"
                                        : "not a regular file");
  }
  const std::string tooLarge = fmt::format("larger than {} KiB, the most it may take", limit >> 10);
  if (static_cast<uint64_t>(st.st_size) > limit) throw refuse(tooLarge);
  std::string text(static_cast<size_t>(st.st_size) + 1, '\0');
  size_t used = 0;
  // To the end even if the file grew since, never past the bound.
  for (;;) {
    if (used == text.size()) {
      if (text.size() > limit) throw refuse(tooLarge);
      text.resize(std::min(text.size() * 2, limit + 1));
    }
    const ssize_t n = read(fd, text.data() + used, text.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw refuse(fmt::format("cannot be read: {}", std::strerror(errno)));
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  text.resize(used);
  return text;
}

}  // namespace brv::send
