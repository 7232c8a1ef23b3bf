#pragma once
// File names travel through the program as UTF-8 text (the Windows build turns
// its wide names into UTF-8 at the edge). A file is opened through the path
// made here, which on Windows is the wide name itself, so a folder whose name
// the ANSI code page cannot spell is still read; on Linux the bytes are kept
// as they are, whatever the locale.
#include <filesystem>
#include <string>
#include <string_view>

namespace brv {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace brv
