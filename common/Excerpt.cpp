#include "common/Excerpt.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>

namespace brv {

std::string Excerpt(std::string_view text, size_t limit) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The length of the UTF-8 character here and its code point; 0 when the
    // bytes are not one (a stray byte, overlong form, surrogate or past U+10FFFF).
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                    : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
    if (length > 1 && i + length > text.size()) length = 0;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      code = code << 6 | (next & 0x3Fu);
    }
    if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      length = 0;
    }
    if (i + std::max<size_t>(length, 1) > limit) {
      out += "...";
      break;
    }
    if (length == 0) {
      out += fmt::format("\\x{:02X}", lead);
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
    } else if (code >= 0x80 && code <= 0x9F) {
      out += fmt::format("\\u{:04X}", code);
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

}  // namespace brv
