#include "containers/common/Units.h"

#include <array>
#include <cmath>

#include <fmt/format.h>

#include "common/Text.h"

namespace brv {

Unit GridUnit(Category category, int32_t row) {
  const std::span<const Column> columns = CatalogueOf(category).columns;
  if (row < 1 || static_cast<size_t>(row) > columns.size()) return Unit::kNone;
  return columns[static_cast<size_t>(row) - 1].unit;
}

std::string BinarySize(uint64_t bytes) {
  static constexpr std::array<const char*, 7> kNames = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  size_t unit = 0;
  while (unit + 1 < kNames.size() && bytes >= (uint64_t{1} << (10 * (unit + 1)))) ++unit;
  if (unit == 0) return fmt::format("{} B", bytes);
  const double size = static_cast<double>(bytes) / static_cast<double>(uint64_t{1} << (10 * unit));
  // One decimal below 10 ("1.5 GiB"), whole numbers above ("477 GiB"), as people round them.
  const double rounded = size < 9.95 ? std::round(size * 10) / 10 : std::round(size);
  if (rounded >= 1024 && unit + 1 < kNames.size()) return fmt::format("1 {}", kNames[unit + 1]);
  return rounded < 10 && rounded != std::floor(rounded) ? fmt::format("{:.1f} {}", rounded, kNames[unit])
                                                        : fmt::format("{:.0f} {}", rounded, kNames[unit]);
}

std::string WithUnit(const std::string& value, Unit unit) {
  if (unit == Unit::kNone) return value;
  const std::optional<uint64_t> number = ParseInteger<uint64_t>(value);
  if (!number) return value;
  switch (unit) {
    case Unit::kBytes: return value + " (" + BinarySize(*number) + ")";
    case Unit::kMebibytes: return *number > (UINT64_MAX >> 20) ? value : value + " (" + BinarySize(*number << 20) + ")";
    case Unit::kMegahertz: return value + " MHz";
    case Unit::kMilliwattHours: return value + " mWh";
    case Unit::kNone: break;
  }
  return value;
}

}  // namespace brv
