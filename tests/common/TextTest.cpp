// The shared text helpers: UTF-8 characters and their columns, ASCII letter
// case, trimming and splitting, and whole numbers read exactly, answered line by
// line in tests/data/expected/text.txt.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Excerpt.h"
#include "common/Text.h"
#include "tests/support/Golden.h"

namespace brv {
namespace {

using test::Quote;

std::string List(const std::vector<std::string_view>& parts) {
  std::string out = std::to_string(parts.size());
  for (const std::string_view p : parts) out += " " + Quote(p);
  return out;
}

template <typename T>
std::string Numbers(const std::string& text, int base) {
  const auto show = [](std::optional<T> n) { return n ? std::to_string(int64_t{*n}) : std::string("none"); };
  return "plain " + show(ParseInteger<T>(text, base)) + " prefixed " + show(ParsePrefixedInteger<T>(text, base));
}

// "$ FUNCTION ARGUMENT | ARGUMENT": the function's answer.
TEST(Text, AnswersEachHelper) {
  test::ExpectAnswers("expected/text.txt", [](const std::string& line) -> std::string {
    const std::string fn = line.substr(0, line.find(' '));
    std::vector<std::string> a;
    for (size_t at = std::min(fn.size() + 1, line.size()), end = 0; at <= line.size(); at = end + 3) {
      end = std::min(line.find(" | ", at), line.size());
      a.push_back(test::Unescape(line.substr(at, end - at)));
    }
    std::ostringstream out;
    out << std::boolalpha;
    if (fn == "decode") {
      const Utf8Char c = DecodeUtf8(a[0]);
      out << std::hex << std::uppercase << "U+" << uint32_t{c.code} << std::dec << " length " << c.length
          << (c.valid ? " valid" : " not UTF-8");
    } else if (fn == "width") {
      out << DisplayWidth(a[0]);
    } else if (fn == "case") {
      const std::wstring wa(a[0].begin(), a[0].end()), wb(a[1].begin(), a[1].end());
      out << "equal " << EqualNoCase(a[0], a[1]) << " wide " << EqualNoCase(std::wstring_view(wa), wb) << " lower "
          << Quote(LowerAscii(a[0])) << " " << Quote(LowerAscii(a[1])) << " upper " << Quote(UpperAscii(a[0])) << " "
          << Quote(UpperAscii(a[1]));
    } else if (fn == "part") {
      out << "starts " << StartsWithNoCase(a[0], a[1]) << " contains " << ContainsNoCase(a[0], a[1]);
    } else if (fn == "trim") {
      out << Quote(a.size() > 1 ? Trim(a[0], a[1]) : Trim(a[0]));
    } else if (fn == "digits") {
      out << AllDigits(a[0]);
    } else if (fn == "lines") {
      out << List(SplitLines(a[0]));
    } else if (fn == "fields") {
      out << List(a.size() > 1 ? SplitFields(a[0], a[1]) : SplitFields(a[0]));
    } else if (fn == "number") {  // TYPE | BASE | TEXT
      const int base = std::stoi(a[1]);
      out << (a[0] == "int64"    ? Numbers<int64_t>(a[2], base)
              : a[0] == "int32"  ? Numbers<int32_t>(a[2], base)
              : a[0] == "uint32" ? Numbers<uint32_t>(a[2], base)
              : a[0] == "uint16" ? Numbers<uint16_t>(a[2], base)
                                 : Numbers<unsigned char>(a[2], base));
    } else if (fn == "excerpt") {  // LIMIT | TEXT
      out << Quote(Excerpt(a[1], std::stoul(a[0])));
    } else if (fn == "json-escapes") {
      out << Quote(EscapeFormatCharacters(a[0]));
    }
    return out.str();
  });
}

}  // namespace
}  // namespace brv
