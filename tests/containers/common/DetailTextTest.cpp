// Details as a person reads them and as JSON carries them, at the edges (the
// sample laptop's are compared whole in ProgramTest, against
// tests/data/expected/laptop.{details.txt,json}).
#include <gtest/gtest.h>

#include "containers/common/DetailText.h"

namespace {

using brv::DetailUnit;
using brv::Variant;

std::string Say(int32_t number) { return "#" + std::to_string(number); }

TEST(DetailText, UnitsAndCodes) {
  const struct {
    DetailUnit unit;
    Variant value;
    std::string person, json;
  } cases[] = {
      {DetailUnit::Bytes, int64_t{17179869184}, "16 GiB (17179869184 bytes)", "17179869184"},
      {DetailUnit::Kilobytes, int32_t{1280}, "1.3 MiB", "1310720"},
      {DetailUnit::BitsPerSecond, int64_t{2500000000}, "2.5 Gbit/s", "2500000000"},
      {DetailUnit::BitsPerSecond, int64_t{100000000}, "100 Mbit/s", "100000000"},
      {DetailUnit::MemoryTypeCode, int32_t{99}, "99", "null"},
      {DetailUnit::ArchitectureCode, int32_t{12}, "ARM64", "\"ARM64\""},
      {DetailUnit::ConnectionCode, int32_t{7}, "#2418", "\"media disconnected\""},
      {DetailUnit::TextList, Variant::Array{"10.0.0.2", "fe80::1"}, "10.0.0.2, fe80::1", R"(["10.0.0.2","fe80::1"])"},
      {DetailUnit::Count, std::string("12"), "12", "12"},
      {DetailUnit::Count, std::string("many"), "", "null"},
      {DetailUnit::Bytes, int32_t{-1}, "", "null"},
      {DetailUnit::Text, brv::Null{}, "", "null"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(brv::DetailForPerson(c.unit, c.value, Say), c.person) << c.json;
    EXPECT_EQ(brv::DetailForJson(c.unit, c.value).dump(), c.json) << c.person;
  }
}

TEST(DetailText, WorkedOutFromOtherDetails) {
  using S = brv::DetailShown;
  const struct {
    S shown;
    DetailUnit unit;
    Variant value, second;
    std::string person;
  } cases[] = {
      {S::OfTotal, DetailUnit::Count, int64_t{4}, int64_t{2}, "#2402"},  // the provider's "%1 of %2" filled in
      {S::Wear, DetailUnit::Percent, int32_t{50000}, int32_t{41000}, "18 %"},
      {S::Wear, DetailUnit::Percent, int32_t{47520}, int32_t{50060}, "0 %"},  // above design: no wear
      {S::Wear, DetailUnit::Percent, int32_t{0}, int32_t{41000}, ""},
      {S::Pair, DetailUnit::Pixels, int32_t{1920}, Variant(), ""},
  };
  for (const auto& c : cases) {
    const brv::Detail detail{1, brv::InstrumentationClass::Processor, "P", c.unit, false, c.shown, "Q"};
    EXPECT_EQ(brv::DetailForPerson(brv::PartDetail{&detail, c.value, c.second}, Say), c.person);
  }
}

}  // namespace
