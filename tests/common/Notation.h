#pragma once
// Answers of the answer files under tests/data/expected that are texts not all
// printable, in the notation their inputs are read in (Unescape, Golden.h).
#include <cstdio>
#include <string>
#include <string_view>

namespace brv::test {

// A text in quotes, each byte outside printable ASCII and a quote as \xHH, a
// backslash as \\.
inline std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", b);
    out += ch == '\\' ? "\\\\" : b < 0x20 || b >= 0x7F || ch == '"' ? hex : std::string(1, ch);
  }
  return out + "\"";
}

}  // namespace brv::test
