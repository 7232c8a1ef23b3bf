// Numbers with their units, as the terminal shows them to a person.
#include <gtest/gtest.h>

#include "containers/common/Units.h"

namespace {

TEST(Units, ValuesReadAsPeopleRoundThem) {
  const struct {
    std::string value;
    brv::Unit unit;
    std::string shown;
  } cases[] = {
      {"512110190592", brv::Unit::kBytes, "512110190592 (477 GiB)"},
      {"8589934592", brv::Unit::kBytes, "8589934592 (8 GiB)"},
      {"1610612736", brv::Unit::kBytes, "1610612736 (1.5 GiB)"},
      {"1023", brv::Unit::kBytes, "1023 (1023 B)"},
      {"1048575", brv::Unit::kBytes, "1048575 (1 MiB)"},           // 1023.999 KiB rounds up a unit
      {"10695475200", brv::Unit::kBytes, "10695475200 (10 GiB)"},  // 9.96 GiB: no "10.0"
      {"18446744073709551615", brv::Unit::kBytes, "18446744073709551615 (16 EiB)"},
      {"8176", brv::Unit::kMebibytes, "8176 (8 GiB)"},
      {"4200", brv::Unit::kMegahertz, "4200 MHz"},
      {"47520", brv::Unit::kMilliwattHours, "47520 mWh"},
      {"<Empty>", brv::Unit::kBytes, "<Empty>"},
      {"-1", brv::Unit::kBytes, "-1"},
      {"12 GB", brv::Unit::kBytes, "12 GB"},
      {"4200", brv::Unit::kNone, "4200"},
  };
  for (const auto& c : cases) EXPECT_EQ(brv::WithUnit(c.value, c.unit), c.shown) << c.value;
}

}  // namespace
