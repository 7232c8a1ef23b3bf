#include "common/Excerpt.h"

#include <cstdint>

#include <fmt/format.h>

#include "common/Text.h"

namespace brv {

std::string Excerpt(std::string_view text, size_t limit) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(text.substr(i));
    const uint32_t code = c.code;
    if (i + c.length > limit) {
      out += "...";
      break;
    }
    if (!c.valid) {
      out += fmt::format("\\x{:02X}", code);
      ++i;
      continue;
    }
    if (code == '\n') {
      out += "\\n";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code < 0x20 || code == 0x7F) {
      out += fmt::format("\\x{:02X}", code);
    } else if ((code >= 0x80 && code <= 0x9F) || IsFormatCharacter(code)) {
      out += fmt::format("\\u{:04X}", code);
    } else {
      out.append(text.substr(i, c.length));
    }
    i += c.length;
  }
  return out;
}

}  // namespace brv
