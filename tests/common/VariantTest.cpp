#include <limits>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/Variant.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(VariantText, WholeNumbersTextAndEmpty) {
  const struct {
    Variant value;
    std::string text;
  } cases[] = {
      {Variant(int16_t{-32768}), "-32768"},
      {Variant(int32_t{7}), "7"},
      {Variant(int64_t{256060514304}), "256060514304"},
      {Variant(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {Variant("  GenuineIntel "), "  GenuineIntel "},
      {Variant(), ""},
      {Variant(3.5), "3.5"},
      {Variant(0.1 + 0.2), "0.3"},  // fifteen significant digits
      {Variant(true), "True"},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.value), c.text);
}

TEST(VariantText, NullAndArraysHaveNone) {
  EXPECT_EQ(test::ErrorNumberOf([] { TextOf(Variant(Null{})); }), err::kInvalidUseOfNull);
  EXPECT_EQ(test::ErrorNumberOf([] { TextOf(Variant(Variant::Array{Variant("10.0.0.2")})); }), err::kTypeMismatch);
}

TEST(VariantConversion, Int16RoundsHalfToEvenAndOverflows) {
  const struct {
    Variant value;
    int16_t expected;  // ignored when error is set
    int32_t error;
  } cases[] = {
      {Variant(0.5), 0, 0},
      {Variant(1.5), 2, 0},
      {Variant(2.5), 2, 0},
      {Variant(-0.5), 0, 0},
      {Variant(-1.5), -2, 0},
      {Variant(32767.4), 32767, 0},
      {Variant(32767.5), 0, err::kOverflow},
      {Variant(-32768.5), -32768, 0},
      {Variant(-32768.6), 0, err::kOverflow},
      {Variant(int32_t{32768}), 0, err::kOverflow},
      {Variant(int64_t{-32769}), 0, err::kOverflow},
      {Variant("2"), 2, 0},
      {Variant(" 2.5 "), 2, 0},
      {Variant("3.5"), 4, 0},
      {Variant("1e3"), 1000, 0},
      {Variant("abc"), 0, err::kTypeMismatch},
      {Variant(""), 0, err::kTypeMismatch},
      {Variant("0x10"), 0, err::kTypeMismatch},
      {Variant("inf"), 0, err::kTypeMismatch},
      {Variant(Null{}), 0, err::kInvalidUseOfNull},
      {Variant(), 0, 0},
      {Variant(true), -1, 0},
      {Variant(Variant::Array{}), 0, err::kTypeMismatch},
      {Variant(std::numeric_limits<double>::quiet_NaN()), 0, err::kOverflow},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(TextOf(Variant(KindName(c.value.kind()))));
    if (c.error) {
      EXPECT_EQ(test::ErrorNumberOf([&] { ToInt16(c.value); }), c.error);
    } else {
      EXPECT_EQ(ToInt16(c.value), c.expected);
    }
  }
}

TEST(VariantConversion, Int32Edges) {
  // Halves round to even: LayoutTest (ColumnWidthsAreHalfTheSiteRoundedToEven).
  EXPECT_EQ(RoundToInt32(2147483647.0), 2147483647);
  EXPECT_EQ(test::ErrorNumberOf([] { RoundToInt32(2147483647.5); }), err::kOverflow);
  EXPECT_EQ(ToInt32(Variant(int64_t{-2147483648LL})), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(test::ErrorNumberOf([] { ToInt32(Variant(int64_t{2147483648LL})); }), err::kOverflow);
}

TEST(VariantArithmetic, SubtractOne) {
  const struct {
    Variant value;
    Variant expected;
  } cases[] = {
      // Whole numbers keep their width and widen instead of overflowing.
      {Variant(int16_t{1}), Variant(int16_t{0})},
      {Variant(int16_t{-32768}), Variant(int32_t{-32769})},
      {Variant(int32_t{2}), Variant(int32_t{1})},
      {Variant(std::numeric_limits<int32_t>::min()), Variant(int64_t{-2147483649LL})},
      // Doubles and numeric text give doubles; Empty counts as 0, True as -1; Null stays Null.
      {Variant(2.5), Variant(1.5)},
      {Variant("2"), Variant(1.0)},
      {Variant(), Variant(int16_t{-1})},
      {Variant(true), Variant(int16_t{-2})},
      {Variant(Null{}), Variant(Null{})},
  };
  for (const auto& c : cases) EXPECT_EQ(Subtract(c.value, 1), c.expected) << KindName(c.value.kind());
  EXPECT_EQ(test::ErrorNumberOf([] { Subtract(Variant("two"), 1); }), err::kTypeMismatch);
  EXPECT_EQ(test::ErrorNumberOf([] { Subtract(Variant(Variant::Array{}), 1); }), err::kTypeMismatch);
}

}  // namespace
}  // namespace brv
