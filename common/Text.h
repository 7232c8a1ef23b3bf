#pragma once
// Text helpers every layer shares: UTF-8 characters and the columns they take
// in a terminal, ASCII letter case (names the system compares are ASCII, and a
// locale must not change how they compare), trimming, splitting into lines and
// fields, and whole numbers read exactly.
#include <charconv>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brv {

// The UTF-8 character at the start of a text.
struct Utf8Char {
  char32_t code = 0;   // its code point; the byte itself when it is not valid
  size_t length = 1;   // the bytes it takes; 1 when it is not valid
  bool valid = false;  // false for a stray or cut-off byte, an overlong form, a surrogate or past U+10FFFF
};

// Decodes the character that starts `text` (which is not empty).
Utf8Char DecodeUtf8(std::string_view text);

// True for the characters that change how the text around them reads without
// showing themselves: Unicode's format characters (bidirectional overrides,
// embeddings and isolates, zero-width spaces and joiners, the byte order mark,
// invisible operators, tags) and the line and paragraph separators.
bool IsFormatCharacter(char32_t code);

// A JSON document (nlohmann's dump) with its format characters written as
// \uXXXX escapes: the same document, which no reader shows reordered.
std::string EscapeFormatCharacters(std::string_view json);

// Columns a text takes in a terminal: wide East Asian characters take two, any
// other character (and each byte that is not UTF-8) one.
size_t DisplayWidth(std::string_view utf8);

// ASCII letter case; other bytes are left as they are.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
bool EqualNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view word);

// The text without the `blanks` it starts and ends with.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t\r\n");
// True for a text of one or more digits 0-9 and nothing else.
bool AllDigits(std::string_view text);

// The lines of a text, without their '\n'; a final '\n' ends the last line
// rather than starting an empty one.
std::vector<std::string_view> SplitLines(std::string_view text);
// The fields of a line, separated by runs of `blanks`; none are empty.
std::vector<std::string_view> SplitFields(std::string_view line, std::string_view blanks = " \t");

// A message with %1 ... %9 replaced by the arguments, in one pass (an argument's
// own "%2" stays as it is); a mark without its argument stays too.
std::string FillIn(std::string_view text, std::initializer_list<std::string> args);

// A whole number written in `base` that is the whole text (no blanks, no '+');
// nothing when it is not one or does not fit in Int.
template <class Int>
std::optional<Int> ParseInteger(std::string_view text, int base = 10) {
  Int value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The same, where "0x" or "0X" in front of the digits makes them hexadecimal.
template <class Int>
std::optional<Int> ParsePrefixedInteger(std::string_view text, int base = 10) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  return ParseInteger<Int>(text, base);
}

}  // namespace brv
