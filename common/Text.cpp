#include "common/Text.h"

#include <algorithm>
#include <cstdio>

namespace brv {
namespace {

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

template <class Char>
Char Lower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <class Char>
bool Equal(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](Char x, Char y) { return Lower(x) == Lower(y); });
}

}  // namespace

Utf8Char DecodeUtf8(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const Utf8Char stray{lead, 1, false};
  if (lead < 0x80) return {lead, 1, true};
  // The lead byte gives the length; C0, C1 and F5..FF start nothing.
  const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
  if (length == 0 || length > text.size()) return stray;
  char32_t code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if ((next & 0xC0) != 0x80) return stray;
    code = code << 6 | (next & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  if ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (length == 4 && (code < 0x10000 || code > 0x10FFFF))) {
    return stray;
  }
  return {code, length, true};
}

bool IsFormatCharacter(char32_t c) {
  // Unicode's general category Cf, and Zl and Zp.
  static constexpr std::pair<char32_t, char32_t> kRanges[] = {
      {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
      {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
      {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
      {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
      {0xE0020, 0xE007F}};
  return std::any_of(std::begin(kRanges), std::end(kRanges),
                     [c](const auto& r) { return c >= r.first && c <= r.second; });
}

std::string EscapeFormatCharacters(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (size_t i = 0; i < json.size();) {
    const Utf8Char c = DecodeUtf8(json.substr(i));
    if (c.valid && IsFormatCharacter(c.code)) {
      char escape[16];
      if (c.code < 0x10000) {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c.code));
      } else {
        const char32_t v = c.code - 0x10000;
        std::snprintf(escape, sizeof escape, "\\u%04x\\u%04x", static_cast<unsigned>(0xD800 + (v >> 10)),
                      static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
      }
      out += escape;
    } else {
      out.append(json.substr(i, c.length));
    }
    i += c.length;
  }
  return out;
}

size_t DisplayWidth(std::string_view s) {
  size_t width = 0;
  while (!s.empty()) {
    const Utf8Char c = DecodeUtf8(s);
    width += c.valid && Wide(c.code) ? 2 : 1;
    s.remove_prefix(c.length);
  }
  return width;
}

char LowerAscii(char c) { return Lower(c); }

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return Equal(a, b); }
bool EqualNoCase(std::wstring_view a, std::wstring_view b) { return Equal(a, b); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Equal(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(),
                     [](char a, char b) { return Lower(a) == Lower(b); }) != text.end();
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> out;
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    out.push_back(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
  }
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line, std::string_view blanks) {
  std::vector<std::string_view> out;
  for (size_t at = line.find_first_not_of(blanks); at != std::string_view::npos;
       at = line.find_first_not_of(blanks, at)) {
    const size_t end = std::min(line.find_first_of(blanks, at), line.size());
    out.push_back(line.substr(at, end - at));
    at = end;
  }
  return out;
}

std::string FillIn(std::string_view text, std::initializer_list<std::string> args) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char mark = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '%' && mark >= '1' && mark <= '9' && static_cast<size_t>(mark - '1') < args.size()) {
      out += *(args.begin() + (mark - '1'));
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace brv
