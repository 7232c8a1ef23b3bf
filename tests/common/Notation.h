#pragma once
// The notation of the answer files under tests/data/expected for texts that
// are not all printable: \xHH any byte, \n \r \t \v \f, \s a space (so that one
// at an end shows) and \\ a backslash.
#include <cstdio>
#include <string>
#include <string_view>

namespace brv::test {

inline std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : '\0';
    const size_t named = std::string_view("nrtvfs").find(c);
    if (c == 'x') {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += named != std::string_view::npos ? "\n\r\t\v\f "[named] : text[i];
    }
  }
  return out;
}

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
