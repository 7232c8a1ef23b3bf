#pragma once
// The files the sender reads besides the snapshot (the certificate authorities,
// the kept device id): each a regular file of bounded size, opened without
// waiting, so that a FIFO, a device or a folder in its place is told in one
// line instead of holding the daily report forever.
#include <stdexcept>
#include <string>

namespace brv::send {

// A file that is missing, is no regular file, is larger than allowed or cannot be read.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole of a regular file of at most `limit` bytes. Throws FileError with
// one line: "PATH: WHAT: why" (the path escaped and cut short; `what` says
// what the file is for, e.g. "the certificate authorities (--cacert)").
std::string ReadBoundedFile(const std::string& path, size_t limit, const char* what);

}  // namespace brv::send
