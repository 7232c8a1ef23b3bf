#include "containers/common/DetailText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "common/Text.h"
#include "containers/common/Units.h"
#include "module/EnglishText.h"
#include "platform/strings/Resources.h"

namespace brv {
namespace {

struct Named {
  int64_t code;
  std::string_view name;
};

// The instrumentation's codes (SMBIOS's for memory types) and their usual names.
constexpr Named kArchitectures[] = {{0, "x86"}, {1, "MIPS"}, {2, "Alpha"}, {3, "PowerPC"},
                                    {5, "ARM"}, {6, "ia64"}, {9, "x64"},   {12, "ARM64"}};
constexpr Named kMemoryTypes[] = {{1, "Other"},   {2, "Unknown"}, {3, "DRAM"},    {4, "EDRAM"},
                                  {5, "VRAM"},    {6, "SRAM"},    {7, "RAM"},     {8, "ROM"},
                                  {9, "Flash"},   {10, "EEPROM"}, {11, "FEPROM"}, {12, "EPROM"},
                                  {13, "CDRAM"},  {14, "3DRAM"},  {15, "SDRAM"},  {16, "SGRAM"},
                                  {17, "RDRAM"},  {18, "DDR"},    {19, "DDR2"},   {20, "DDR2 FB-DIMM"},
                                  {24, "DDR3"},   {25, "FBD2"},   {26, "DDR4"},   {27, "LPDDR"},
                                  {28, "LPDDR2"}, {29, "LPDDR3"}, {30, "LPDDR4"}, {31, "Logical non-volatile device"},
                                  {32, "HBM"},    {33, "HBM2"},   {34, "DDR5"},   {35, "LPDDR5"},
                                  {36, "HBM3"}};
constexpr Named kFormFactors[] = {{1, "Other"},       {2, "SIP"},     {3, "DIP"},    {4, "ZIP"},  {5, "SOJ"},
                                  {6, "Proprietary"}, {7, "SIMM"},    {8, "DIMM"},   {9, "TSOP"}, {10, "PGA"},
                                  {11, "RIMM"},       {12, "SODIMM"}, {13, "SRIMM"}, {14, "SMD"}, {15, "SSMP"},
                                  {16, "QFP"},        {17, "TQFP"},   {18, "SOIC"},  {19, "LCC"}, {20, "PLCC"},
                                  {21, "BGA"},        {22, "FPBGA"},  {23, "LGA"}};
// Chemistry and connection states are words: in JSON in English, to a person in
// the reader's language (message 2431 on, 2411 on).
constexpr Named kChemistries[] = {
    {1, "other"},       {2, "unknown"},  {3, "lead-acid"},      {4, "nickel-cadmium"}, {5, "nickel-metal hydride"},
    {6, "lithium-ion"}, {7, "zinc-air"}, {8, "lithium polymer"}};
constexpr Named kConnections[] = {{0, "disconnected"},
                                  {1, "connecting"},
                                  {2, "connected"},
                                  {3, "disconnecting"},
                                  {4, "hardware not present"},
                                  {5, "hardware disabled"},
                                  {6, "hardware malfunction"},
                                  {7, "media disconnected"},
                                  {8, "authenticating"},
                                  {9, "authentication succeeded"},
                                  {10, "authentication failed"},
                                  {11, "invalid address"},
                                  {12, "credentials required"}};
constexpr int32_t kFirstChemistryWord = 2430, kFirstConnectionWord = 2411, kYes = 2403, kNo = 2404;

template <size_t N>
std::string_view Find(const Named (&table)[N], int64_t code) {
  for (const Named& n : table) {
    if (n.code == code) return n.name;
  }
  return {};
}

// A whole number from the value: numbers, and text that is one; nothing else.
std::optional<int64_t> Whole(const Variant& value) {
  if (const auto* v = value.get_if<int16_t>()) return *v;
  if (const auto* v = value.get_if<int32_t>()) return *v;
  if (const auto* v = value.get_if<int64_t>()) return *v;
  if (const auto* v = value.get_if<double>()) {
    if (std::isfinite(*v) && std::fabs(*v) < 9.0e18) return static_cast<int64_t>(std::llround(*v));
    return std::nullopt;
  }
  if (const auto* v = value.get_if<std::string>()) return ParseInteger<int64_t>(Trim(*v));
  return std::nullopt;
}

std::string Text(const Variant& value) {
  if (const auto* v = value.get_if<std::string>()) return std::string(Trim(*v));
  if (value.IsInteger()) return TextOf(value);
  return {};
}

std::vector<std::string> Texts(const Variant& value) {
  std::vector<std::string> out;
  if (const auto* list = value.get_if<Variant::Array>()) {
    for (const Variant& item : *list) {
      if (std::string t = Text(item); !t.empty()) out.push_back(std::move(t));
    }
  } else if (std::string t = Text(value); !t.empty()) {
    out.push_back(std::move(t));
  }
  return out;
}

// A link's speed as people write it: "1 Gbit/s", "100 Mbit/s", "2.5 Gbit/s".
std::string BitRate(int64_t bits) {
  static constexpr std::array<std::string_view, 5> kNames = {"bit/s", "kbit/s", "Mbit/s", "Gbit/s", "Tbit/s"};
  double value = static_cast<double>(bits);
  size_t unit = 0;
  while (unit + 1 < kNames.size() && value >= 1000) {
    value /= 1000;
    ++unit;
  }
  return value == std::floor(value) ? fmt::format("{:.0f} {}", value, kNames[unit])
                                    : fmt::format("{:.1f} {}", value, kNames[unit]);
}

}  // namespace

SayWord UserMessages() {
  static const std::shared_ptr<const Resources> resources = []() -> std::shared_ptr<const Resources> {
    try {
      return std::make_shared<const Resources>();
    } catch (const std::exception&) {
      return nullptr;
    }
  }();
  return [](int32_t number) -> std::string {
    if (resources) {
      try {
        return resources->GetResourceString(number);
      } catch (const std::exception&) {
      }
    }
    return std::string(EnglishText(number));
  };
}

std::string CodeName(DetailUnit unit, int64_t code) {
  switch (unit) {
    case DetailUnit::ArchitectureCode: return std::string(Find(kArchitectures, code));
    case DetailUnit::MemoryTypeCode: return std::string(Find(kMemoryTypes, code));
    case DetailUnit::FormFactorCode: return std::string(Find(kFormFactors, code));
    case DetailUnit::ChemistryCode: return std::string(Find(kChemistries, code));
    case DetailUnit::ConnectionCode: return std::string(Find(kConnections, code));
    default: return {};
  }
}

std::string DetailForPerson(DetailUnit unit, const Variant& value, const SayWord& say) {
  if (unit == DetailUnit::Text) return Text(value);
  if (unit == DetailUnit::TextList) {
    std::string joined;
    for (const std::string& t : Texts(value)) joined += (joined.empty() ? "" : ", ") + t;
    return joined;
  }
  if (unit == DetailUnit::Flag) {
    if (const auto* b = value.get_if<bool>()) return say(*b ? kYes : kNo);
    return {};
  }
  const std::optional<int64_t> n = Whole(value);
  if (!n || *n < 0) return {};
  switch (unit) {
    case DetailUnit::Bytes: return BinarySize(static_cast<uint64_t>(*n)) + fmt::format(" ({} bytes)", *n);
    case DetailUnit::Kilobytes:
      return *n > (INT64_MAX >> 10) ? std::string() : BinarySize(static_cast<uint64_t>(*n) << 10);
    case DetailUnit::Megahertz: return fmt::format("{} MHz", *n);
    case DetailUnit::Hertz: return fmt::format("{} Hz", *n);
    case DetailUnit::MegatransfersPerSecond: return fmt::format("{} MT/s", *n);
    case DetailUnit::MilliwattHours: return fmt::format("{} mWh", *n);
    case DetailUnit::Percent: return fmt::format("{} %", *n);
    case DetailUnit::BitsPerSecond: return BitRate(*n);
    case DetailUnit::Centimetres: return fmt::format("{} cm", *n);
    case DetailUnit::RevolutionsPerMinute: return fmt::format("{} rpm", *n);
    case DetailUnit::ChemistryCode:
      return Find(kChemistries, *n).empty() ? std::to_string(*n) : say(kFirstChemistryWord + static_cast<int32_t>(*n));
    case DetailUnit::ConnectionCode:
      return Find(kConnections, *n).empty() ? std::to_string(*n) : say(kFirstConnectionWord + static_cast<int32_t>(*n));
    case DetailUnit::ArchitectureCode:
    case DetailUnit::MemoryTypeCode:
    case DetailUnit::FormFactorCode: {
      const std::string name = CodeName(unit, *n);
      return name.empty() ? std::to_string(*n) : name;
    }
    default: return std::to_string(*n);
  }
}

nlohmann::ordered_json DetailForJson(DetailUnit unit, const Variant& value) {
  switch (unit) {
    case DetailUnit::Text: {
      std::string t = Text(value);
      return t.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(t);
    }
    case DetailUnit::TextList: return Texts(value);
    case DetailUnit::Flag: {
      if (const auto* b = value.get_if<bool>()) return *b;
      return nullptr;
    }
    default: break;
  }
  const std::optional<int64_t> n = Whole(value);
  if (!n || *n < 0) return nullptr;
  switch (unit) {
    case DetailUnit::Kilobytes:
      return *n > (INT64_MAX >> 10) ? nlohmann::ordered_json() : nlohmann::ordered_json(*n << 10);
    case DetailUnit::ArchitectureCode:
    case DetailUnit::MemoryTypeCode:
    case DetailUnit::FormFactorCode:
    case DetailUnit::ChemistryCode:
    case DetailUnit::ConnectionCode: {
      const std::string name = CodeName(unit, *n);
      return name.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(name);
    }
    default: return *n;
  }
}

std::string DetailForPerson(const PartDetail& part, const SayWord& say) {
  const Detail& d = *part.detail;
  switch (d.shown) {
    case DetailShown::Value: return DetailForPerson(d.unit(), part.value, say);
    case DetailShown::Pair: {
      const std::optional<int64_t> a = Whole(part.value), b = Whole(part.second);
      if (!a || !b || *a <= 0 || *b <= 0) return {};
      return d.unit() == DetailUnit::Centimetres ? fmt::format("{} x {} cm", *a, *b) : fmt::format("{}x{}", *a, *b);
    }
    case DetailShown::OfTotal: {
      const std::optional<int64_t> total = Whole(part.value), used = Whole(part.second);
      if (!total || !used || *total <= 0) return {};
      return FillIn(say(2402), {std::to_string(*used), std::to_string(*total)});  // "%1 of %2"
    }
    case DetailShown::Wear: {
      const std::optional<int64_t> design = Whole(part.value), full = Whole(part.second);
      if (!design || !full || *design <= 0 || *full <= 0) return {};
      const double lost = 100.0 * static_cast<double>(*design - *full) / static_cast<double>(*design);
      return fmt::format("{:.0f} %", std::max(0.0, std::round(lost)));
    }
    case DetailShown::Diagonal: {
      const std::optional<int64_t> w = Whole(part.value), h = Whole(part.second);
      if (!w || !h || *w <= 0 || *h <= 0 || *w > 10000 || *h > 10000) return {};
      const double inches = std::sqrt(static_cast<double>(*w * *w + *h * *h)) / 2.54;
      return fmt::format("{:.1f} in", inches);
    }
  }
  return {};
}

void AddDetailJson(nlohmann::ordered_json& details, const PartDetail& part) {
  const Detail& d = *part.detail;
  switch (d.shown) {
    case DetailShown::Value:
    case DetailShown::OfTotal: details[std::string(d.property)] = DetailForJson(d.unit(), part.value); break;
    case DetailShown::Pair:
      details[std::string(d.property)] = DetailForJson(d.unit(), part.value);
      details[std::string(d.second)] = DetailForJson(d.unit(), part.second);
      break;
    case DetailShown::Wear:
    case DetailShown::Diagonal: break;
  }
}

}  // namespace brv
