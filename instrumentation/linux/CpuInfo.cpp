#include "instrumentation/linux/CpuInfo.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

std::optional<int> ToInt(std::string_view s) { return ParseInteger<int>(TrimText(s)); }

std::optional<double> LeadingNumber(std::string_view s) {
  s = TrimText(s);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end == s.data() || !(v > 0)) return std::nullopt;
  return v;
}

}  // namespace

namespace {

// The published main id register values: implementer code -> maker, and
// (implementer, part) -> core. The one place these are kept.
struct Implementer {
  int code;
  const char* name;
};
constexpr Implementer kImplementers[] = {
    {0x41, "ARM"},    {0x42, "Broadcom"}, {0x43, "Cavium"},   {0x46, "Fujitsu"}, {0x48, "HiSilicon"},
    {0x4E, "NVIDIA"}, {0x50, "APM"},      {0x51, "Qualcomm"}, {0x53, "Samsung"}, {0x56, "Marvell"},
    {0x61, "Apple"},  {0x69, "Intel"},    {0x70, "Phytium"},  {0xC0, "Ampere"},
};

struct Part {
  int implementer;
  int part;
  const char* name;
};
constexpr Part kParts[] = {
    {0x41, 0xb02, "ARM11 MPCore"},
    {0x41, 0xb36, "ARM1136"},
    {0x41, 0xb56, "ARM1156"},
    {0x41, 0xb76, "ARM1176"},
    {0x41, 0xc05, "Cortex-A5"},
    {0x41, 0xc07, "Cortex-A7"},
    {0x41, 0xc08, "Cortex-A8"},
    {0x41, 0xc09, "Cortex-A9"},
    {0x41, 0xc0d, "Cortex-A17"},
    {0x41, 0xc0e, "Cortex-A17"},
    {0x41, 0xc0f, "Cortex-A15"},
    {0x41, 0xc14, "Cortex-R4"},
    {0x41, 0xc15, "Cortex-R5"},
    {0x41, 0xc17, "Cortex-R7"},
    {0x41, 0xc18, "Cortex-R8"},
    {0x41, 0xd01, "Cortex-A32"},
    {0x41, 0xd02, "Cortex-A34"},
    {0x41, 0xd03, "Cortex-A53"},
    {0x41, 0xd04, "Cortex-A35"},
    {0x41, 0xd05, "Cortex-A55"},
    {0x41, 0xd06, "Cortex-A65"},
    {0x41, 0xd07, "Cortex-A57"},
    {0x41, 0xd08, "Cortex-A72"},
    {0x41, 0xd09, "Cortex-A73"},
    {0x41, 0xd0a, "Cortex-A75"},
    {0x41, 0xd0b, "Cortex-A76"},
    {0x41, 0xd0c, "Neoverse-N1"},
    {0x41, 0xd0d, "Cortex-A77"},
    {0x41, 0xd0e, "Cortex-A76AE"},
    {0x41, 0xd13, "Cortex-R52"},
    {0x41, 0xd15, "Cortex-R82"},
    {0x41, 0xd16, "Cortex-R52+"},
    {0x41, 0xd40, "Neoverse-V1"},
    {0x41, 0xd41, "Cortex-A78"},
    {0x41, 0xd42, "Cortex-A78AE"},
    {0x41, 0xd43, "Cortex-A65AE"},
    {0x41, 0xd44, "Cortex-X1"},
    {0x41, 0xd46, "Cortex-A510"},
    {0x41, 0xd47, "Cortex-A710"},
    {0x41, 0xd48, "Cortex-X2"},
    {0x41, 0xd49, "Neoverse-N2"},
    {0x41, 0xd4a, "Neoverse-E1"},
    {0x41, 0xd4b, "Cortex-A78C"},
    {0x41, 0xd4c, "Cortex-X1C"},
    {0x41, 0xd4d, "Cortex-A715"},
    {0x41, 0xd4e, "Cortex-X3"},
    {0x41, 0xd4f, "Neoverse-V2"},
    {0x41, 0xd80, "Cortex-A520"},
    {0x41, 0xd81, "Cortex-A720"},
    {0x41, 0xd82, "Cortex-X4"},
    {0x41, 0xd83, "Neoverse-V3AE"},
    {0x41, 0xd84, "Neoverse-V3"},
    {0x41, 0xd85, "Cortex-X925"},
    {0x41, 0xd87, "Cortex-A725"},
    {0x41, 0xd88, "Cortex-A520AE"},
    {0x41, 0xd89, "Cortex-A720AE"},
    {0x41, 0xd8e, "Neoverse-N3"},
    {0x41, 0xd8f, "Cortex-A320"},
    {0x42, 0x00f, "Brahma-B15"},
    {0x42, 0x100, "Brahma-B53"},
    {0x42, 0x516, "ThunderX2"},
    {0x43, 0x0a0, "ThunderX"},
    {0x43, 0x0a1, "ThunderX-88XX"},
    {0x43, 0x0a2, "ThunderX-81XX"},
    {0x43, 0x0a3, "ThunderX-83XX"},
    {0x43, 0x0af, "ThunderX2-99xx"},
    {0x46, 0x001, "A64FX"},
    {0x48, 0xd01, "Kunpeng-920"},
    {0x4e, 0x000, "Denver"},
    {0x4e, 0x003, "Denver 2"},
    {0x4e, 0x004, "Carmel"},
    {0x50, 0x000, "X-Gene"},
    {0x51, 0x00f, "Scorpion"},
    {0x51, 0x02d, "Scorpion"},
    {0x51, 0x04d, "Krait"},
    {0x51, 0x06f, "Krait"},
    {0x51, 0x201, "Kryo"},
    {0x51, 0x205, "Kryo"},
    {0x51, 0x211, "Kryo"},
    {0x51, 0x800, "Falkor V1/Kryo"},
    {0x51, 0x801, "Kryo V2"},
    {0x51, 0x802, "Kryo 3XX Gold"},
    {0x51, 0x803, "Kryo 3XX Silver"},
    {0x51, 0x804, "Kryo 4XX Gold"},
    {0x51, 0x805, "Kryo 4XX Silver"},
    {0x51, 0xc00, "Falkor"},
    {0x51, 0xc01, "Saphira"},
    {0x53, 0x001, "exynos-m1"},
    {0x56, 0x131, "Feroceon 88FR131"},
    {0x56, 0x581, "PJ4/PJ4b"},
    {0x56, 0x584, "PJ4B-MP"},
    {0x70, 0x660, "FTC660"},
    {0x70, 0x661, "FTC661"},
    {0x70, 0x662, "FTC662"},
    {0x70, 0x663, "FTC663"},
    {0xc0, 0xac3, "Ampere-1"},
    {0xc0, 0xac4, "Ampere-1a"},
};

// ARM's "CPU architecture": "8" (or "AArch64") is ARM64, 7 and before ARM.
std::optional<int> ArmArchitecture(std::string_view text) {
  text = TrimText(text);
  if (text == "AArch64") return 12;
  const auto version = ParseInteger<int>(text);
  if (!version || *version <= 0) return std::nullopt;
  return *version >= 8 ? 12 : 5;
}

// "0x48", "0xd01", "8": a number the kernel prints in hexadecimal or decimal.
std::optional<int> CodeNumber(std::string_view text) {
  const std::optional<int> value = ParsePrefixedInteger<int>(TrimText(text));
  if (!value || *value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> ArmImplementerName(int code) {
  for (const Implementer& e : kImplementers) {
    if (e.code == code) return std::string(e.name);
  }
  return std::nullopt;
}

std::optional<std::string> ArmImplementerName(std::string_view code) {
  const std::optional<int> value = CodeNumber(code);
  return value ? ArmImplementerName(*value) : std::nullopt;
}

std::optional<std::string> ArmPartName(int implementer, int part) {
  for (const Part& e : kParts) {
    if (e.implementer == implementer && e.part == part) return std::string(e.name);
  }
  return std::nullopt;
}

void FillFromMidr(std::string_view midr, CpuInfoProcessor& p) {
  const uint64_t value = ParsePrefixedInteger<uint64_t>(TrimText(midr), 16).value_or(0);
  if (value == 0) return;
  if (!p.armImplementer) p.armImplementer = static_cast<int>((value >> 24) & 0xFF);
  if (!p.armVariant) p.armVariant = static_cast<int>((value >> 20) & 0xF);
  if (!p.armPart) p.armPart = static_cast<int>((value >> 4) & 0xFFF);
  if (!p.armRevision) p.armRevision = static_cast<int>(value & 0xF);
}

namespace {

// What one processor's block of lines says, over what an earlier block of the
// same processor said (s390 lists a processor twice).
void ApplyBlock(const std::map<std::string, std::string>& block, CpuInfoProcessor& p) {
  auto get = [&](const char* key) -> std::optional<std::string> {
    if (auto it = block.find(key); it != block.end()) return CleanFirmwareText(it->second);
    return std::nullopt;
  };
  // Only what this block says: a processor met twice (s390) keeps the rest.
  auto keep = [](std::optional<std::string>& field, std::optional<std::string> value) {
    if (value) field = std::move(value);
  };
  keep(p.vendorId, get("vendor_id"));
  if (auto impl = block.find("CPU implementer"); !p.vendorId && impl != block.end()) {
    p.vendorId = ArmImplementerName(impl->second);
  }
  auto code = [&](const char* key, std::optional<int>& field) {
    if (auto it = block.find(key); it != block.end()) {
      if (auto v = CodeNumber(it->second)) field = v;
    }
  };
  code("CPU implementer", p.armImplementer);
  code("CPU part", p.armPart);
  code("CPU variant", p.armVariant);
  code("CPU revision", p.armRevision);
  keep(p.revision, get("revision"));
  keep(p.modelName, get("model name"));
  if (!p.modelName) {
    // PowerPC: "POWER7 (architected), altivec supported".
    if (auto cpu = get("cpu")) p.modelName = cpu->substr(0, cpu->find(','));
  }
  // Numbers, where 0 is a value (stepping 0), not a placeholder.
  auto number = [&](const char* key) -> std::optional<std::string> {
    auto it = block.find(key);
    if (it == block.end()) return std::nullopt;
    const auto n = ParseInteger<uint32_t>(TrimText(it->second));
    return n ? std::optional(std::to_string(*n)) : std::nullopt;
  };
  keep(p.family, number("cpu family"));
  keep(p.model, number("model"));
  keep(p.stepping, number("stepping"));
  if (auto it = block.find("physical id"); it != block.end()) p.physicalId = ToInt(it->second);
  if (auto it = block.find("cpu cores"); it != block.end()) p.cores = ToInt(it->second);
  if (auto it = block.find("siblings"); it != block.end()) p.siblings = ToInt(it->second);
  if (auto it = block.find("flags"); it != block.end()) {
    p.architecture = (" " + it->second + " ").find(" lm ") != std::string::npos ? 9 : 0;
  } else if (auto arch = block.find("CPU architecture"); arch != block.end()) {
    p.architecture = ArmArchitecture(arch->second);
  }
  if (auto it = block.find("cpu MHz"); it != block.end()) p.mhz = LeadingNumber(it->second);
  if (auto it = block.find("clock"); !p.mhz && it != block.end()) p.mhz = LeadingNumber(it->second);
}

// Global lines (s390 vendor, old ARM "Processor", ARM lines printed once after
// the blocks) fill what the blocks lack.
void ApplyGlobalLines(CpuInfo& info) {
  std::optional<std::string> globalVendor, globalName;
  if (auto it = info.global.find("vendor_id"); it != info.global.end()) globalVendor = CleanFirmwareText(it->second);
  if (auto it = info.global.find("CPU implementer"); !globalVendor && it != info.global.end()) {
    globalVendor = ArmImplementerName(it->second);
  }
  if (auto it = info.global.find("model name"); it != info.global.end()) globalName = CleanFirmwareText(it->second);
  if (auto it = info.global.find("Processor"); !globalName && it != info.global.end())
    globalName = CleanFirmwareText(it->second);
  auto globalCode = [&](const char* key) -> std::optional<int> {
    if (auto it = info.global.find(key); it != info.global.end()) return CodeNumber(it->second);
    return std::nullopt;
  };
  const std::optional<int> implementer = globalCode("CPU implementer"), part = globalCode("CPU part"),
                           variant = globalCode("CPU variant"), revision = globalCode("CPU revision");
  std::optional<int> architecture;
  if (auto it = info.global.find("CPU architecture"); it != info.global.end())
    architecture = ArmArchitecture(it->second);
  for (CpuInfoProcessor& p : info.processors) {
    if (!p.architecture) p.architecture = architecture;
    if (!p.vendorId) p.vendorId = globalVendor;
    if (!p.modelName) p.modelName = globalName;
    if (!p.armImplementer) p.armImplementer = implementer;
    if (!p.armPart) p.armPart = part;
    if (!p.armVariant) p.armVariant = variant;
    if (!p.armRevision) p.armRevision = revision;
  }
}

}  // namespace

CpuInfo ParseCpuInfo(std::string_view text) {
  CpuInfo info;
  CpuInfoProcessor* current = nullptr;
  std::unordered_map<int, size_t> indexOf;   // a processor's place in the list, by its number
  std::map<std::string, std::string> block;  // the current processor's lines
  auto finish = [&]() {
    if (!current) return;
    ApplyBlock(block, *current);
    block.clear();
    current = nullptr;
  };

  for (const std::string_view line : SplitLines(text)) {
    // A blank line ends a processor's block; lines after the last block
    // (ARM's implementer and part on older kernels) are global.
    if (TrimText(line).empty()) {
      finish();
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key(TrimText(line.substr(0, colon)));
    const std::string_view value = TrimText(line.substr(colon + 1));
    // A processor's block starts with "processor : N" (s390: "cpu number : N");
    // older s390 kernels give one line per processor, "processor N: version = ...".
    std::optional<int> number;
    if (key == "processor" || key == "cpu number") number = ToInt(value);
    if (!number && key.starts_with("processor ")) number = ToInt(std::string_view(key).substr(10));
    if (number) {
      finish();
      const auto [seen, fresh] = indexOf.emplace(*number, info.processors.size());
      if (fresh) {
        if (info.processors.size() == kMostCpuInfoProcessors) {
          info.tooMany = true;
          break;
        }
        info.processors.push_back({});
        info.processors.back().number = *number;
      }
      current = &info.processors[seen->second];
      continue;
    }
    if (current) {
      block.emplace(key, std::string(value));
    } else {
      info.global.emplace(key, std::string(value));
    }
  }
  finish();

  ApplyGlobalLines(info);
  return info;
}

}  // namespace brv
