// The shared text helpers: UTF-8 characters and their columns, ASCII letter
// case, trimming and splitting, and whole numbers read exactly.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Text.h"

namespace brv {
namespace {

TEST(Text, DecodesUtf8AndRefusesWhatIsNotUtf8) {
  const struct {
    std::string bytes;
    char32_t code;
    size_t length;
    bool valid;
  } cases[] = {
      {"A", U'A', 1, true},
      {"\xC3\xA9!", 0xE9, 2, true},
      {"\xE3\x81\x82", 0x3042, 3, true},
      {"\xF0\x9F\x98\x80", 0x1F600, 4, true},
      // The edges of each length.
      {"\xC2\x80", 0x80, 2, true},
      {"\xE0\xA0\x80", 0x800, 3, true},
      {"\xEF\xBF\xBF", 0xFFFF, 3, true},
      {"\xF0\x90\x80\x80", 0x10000, 4, true},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4, true},
      // Not UTF-8: one byte each, its own value.
      {"\x80", 0x80, 1, false},              // a continuation byte alone
      {"\xC0\xAF", 0xC0, 1, false},          // an overlong '/'
      {"\xE0\x80\xAF", 0xE0, 1, false},      // overlong in three bytes
      {"\xF0\x8F\xBF\xBF", 0xF0, 1, false},  // overlong in four bytes
      {"\xED\xA0\x80", 0xED, 1, false},      // a surrogate
      {"\xF4\x90\x80\x80", 0xF4, 1, false},  // past U+10FFFF
      {"\xF5\x80\x80\x80", 0xF5, 1, false},
      {"\xE3\x81", 0xE3, 1, false},  // cut off
      {"\xC3"
       "A",
       0xC3, 1, false},  // a continuation that is not one
      {"\xFF", 0xFF, 1, false},
  };
  for (const auto& c : cases) {
    const Utf8Char got = DecodeUtf8(c.bytes);
    EXPECT_EQ(got.code, c.code) << c.bytes;
    EXPECT_EQ(got.length, c.length) << c.bytes;
    EXPECT_EQ(got.valid, c.valid) << c.bytes;
  }
}

TEST(Text, DisplayWidthCountsWideCharactersTwice) {
  const struct {
    std::string text;
    size_t width;
  } cases[] = {
      {"", 0},
      {"Memory", 6},
      {"\xC3\xA9t\xC3\xA9", 3},         // été
      {"\xE6\x97\xA5\xE6\x9C\xAC", 4},  // 日本
      {"\xED\x95\x9C", 2},              // 한
      {"\xEF\xBC\xA1", 2},              // a full-width A
      {"\xEF\xBD\xA1", 1},              // a half-width stop
      {"\xF0\xA0\x80\x8B", 2},          // past the basic plane
      {"\xE3\x81", 2},                  // a cut-off character: a column a byte
      {"\xE6\x97\xA5\xFF", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
}

TEST(Text, LetterCaseIsAsciiOnly) {
  const struct {
    std::string a, b;
    bool equal;
  } cases[] = {
      {"Win32_Processor", "WIN32_PROCESSOR", true},
      {"select", "SeLeCt", true},
      {"abc", "abd", false},
      {"abc", "ab", false},
      {"", "", true},
      {"[", "{", false},  // 0x5B and 0x7B differ only in the bit that folds letters
      {"@", "`", false},
      {"\xC3\x89", "\xC3\xA9", false},  // É and é: not ASCII, left alone
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualNoCase(c.a, c.b), c.equal) << c.a << " " << c.b;
    EXPECT_EQ(EqualNoCase(c.a, c.b), LowerAscii(c.a) == LowerAscii(c.b)) << c.a << " " << c.b;
    EXPECT_EQ(EqualNoCase(c.a, c.b), UpperAscii(c.a) == UpperAscii(c.b)) << c.a << " " << c.b;
  }
  EXPECT_TRUE(EqualNoCase(std::wstring_view(L"SetSelectItem"), std::wstring_view(L"SETSELECTITEM")));
  EXPECT_FALSE(EqualNoCase(std::wstring_view(L"[x"), std::wstring_view(L"{X")));
  EXPECT_EQ(LowerAscii("Content-Type: \xC3\x89"), "content-type: \xC3\x89");
  EXPECT_EQ(UpperAscii("{0a1b-ff}"), "{0A1B-FF}");

  const struct {
    std::string text, part;
    bool starts, contains;
  } parts[] = {
      {"WINMGMTS://./root", "winmgmts:", true, true},
      {"winmgmt", "winmgmts:", false, false},
      {"en_US.UTF-8", "utf-8", false, true},
      {"Virtual Battery 0", "virtual battery", true, true},
      {"BAT0", "", true, true},
      {"ab", "abc", false, false},
  };
  for (const auto& c : parts) {
    EXPECT_EQ(StartsWithNoCase(c.text, c.part), c.starts) << c.text << " " << c.part;
    EXPECT_EQ(ContainsNoCase(c.text, c.part), c.contains) << c.text << " " << c.part;
  }
}

TEST(Text, TrimsAndSplits) {
  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim(" \t\r\n"), "");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("x"), "x");
  EXPECT_EQ(Trim("\r a \t", " \t"), "\r a");

  const struct {
    std::string text;
    bool digits;
  } numbers[] = {{"0", true},   {"0123456789", true}, {"", false},  {"12a", false},
                 {"-1", false}, {" 1", false},        {"/", false}, {":", false}};
  for (const auto& c : numbers) EXPECT_EQ(AllDigits(c.text), c.digits) << c.text;

  using Parts = std::vector<std::string_view>;
  const struct {
    std::string text;
    Parts parts;
  } lines[] =
      {
          {"", {}},
          {"a", {"a"}},
          {"a\n", {"a"}},
          {"\n", {""}},
          {"a\n\nb c\n", {"a", "", "b c"}},
          {"a\r\nb", {"a\r", "b"}},
      },
    fields[] = {
        {"", {}},
        {" \t ", {}},
        {"a", {"a"}},
        {"  eth0\t 0001A8C0 \t", {"eth0", "0001A8C0"}},
        {"|-- 10.0.0.2", {"|--", "10.0.0.2"}},
        {"a\nb", {"a\nb"}},
    };
  for (const auto& c : lines) EXPECT_EQ(SplitLines(c.text), c.parts) << c.text;
  for (const auto& c : fields) EXPECT_EQ(SplitFields(c.text), c.parts) << c.text;
  EXPECT_EQ(SplitFields("select *\nfrom\vX", " \t\n\v\f\r"), (Parts{"select", "*", "from", "X"}));
}

TEST(Text, ReadsWholeNumbersExactly) {
  const struct {
    std::string text;
    int base;
    std::optional<int64_t> plain, prefixed;
  } cases[] = {
      {"42", 10, 42, 42},
      {"-42", 10, -42, -42},
      {"017", 10, 17, 17},  // never octal
      {"0x1F", 10, std::nullopt, 31},
      {"0X1f", 10, std::nullopt, 31},
      {"1f", 16, 31, 31},
      {"0x1f", 16, std::nullopt, 31},
      {"0x", 10, std::nullopt, std::nullopt},
      {"0x", 16, std::nullopt, std::nullopt},
      {"", 10, std::nullopt, std::nullopt},
      {"+42", 10, std::nullopt, std::nullopt},
      {" 42", 10, std::nullopt, std::nullopt},
      {"42 ", 10, std::nullopt, std::nullopt},
      {"4 2", 10, std::nullopt, std::nullopt},
      {"9223372036854775807", 10, INT64_MAX, INT64_MAX},
      {"9223372036854775808", 10, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInteger<int64_t>(c.text, c.base), c.plain) << c.text;
    EXPECT_EQ(ParsePrefixedInteger<int64_t>(c.text, c.base), c.prefixed) << c.text;
  }
  // What does not fit the type is no number.
  EXPECT_EQ(ParseInteger<int32_t>("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseInteger<int32_t>("2147483648"), std::nullopt);
  EXPECT_EQ(ParsePrefixedInteger<uint16_t>("0xFFFF", 16), 0xFFFF);
  EXPECT_EQ(ParsePrefixedInteger<uint16_t>("0x10000", 16), std::nullopt);
  EXPECT_EQ(ParseInteger<uint32_t>("-1"), std::nullopt);
  EXPECT_EQ(ParseInteger<unsigned char>("ff", 16), 0xFF);
  EXPECT_EQ(ParseInteger<unsigned char>("100", 16), std::nullopt);
}

}  // namespace
}  // namespace brv
