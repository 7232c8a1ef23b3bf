#include "instrumentation/linux/CpuInfo.h"

#include <charconv>
#include <cstdlib>
#include <unordered_map>

#include "instrumentation/linux/FirmwareText.h"

namespace brv {
namespace {

std::optional<int> ToInt(std::string_view s) {
  s = TrimText(s);
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<double> LeadingNumber(std::string_view s) {
  s = TrimText(s);
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end == s.data() || !(v > 0)) return std::nullopt;
  return v;
}

}  // namespace

std::optional<std::string> ArmImplementerName(std::string_view code) {
  struct Entry {
    int code;
    const char* name;
  };
  static constexpr Entry kImplementers[] = {
      {0x41, "ARM"},    {0x42, "Broadcom"}, {0x43, "Cavium"},   {0x46, "Fujitsu"}, {0x48, "HiSilicon"},
      {0x4E, "NVIDIA"}, {0x50, "APM"},      {0x51, "Qualcomm"}, {0x53, "Samsung"}, {0x56, "Marvell"},
      {0x61, "Apple"},  {0x69, "Intel"},    {0x70, "Phytium"},  {0xC0, "Ampere"},
  };
  code = TrimText(code);
  if (code.size() > 2 && code[0] == '0' && (code[1] == 'x' || code[1] == 'X')) code.remove_prefix(2);
  int value = 0;
  const auto [end, ec] = std::from_chars(code.data(), code.data() + code.size(), value, 16);
  if (ec != std::errc() || end != code.data() + code.size()) return std::nullopt;
  for (const Entry& e : kImplementers) {
    if (e.code == value) return std::string(e.name);
  }
  return std::nullopt;
}

CpuInfo ParseCpuInfo(std::string_view text) {
  CpuInfo info;
  CpuInfoProcessor* current = nullptr;
  std::unordered_map<int, size_t> indexOf;  // a processor's place in the list, by its number
  std::map<std::string, std::string> block;  // the current processor's lines
  auto finish = [&]() {
    if (!current) return;
    auto get = [&](const char* key) -> std::optional<std::string> {
      if (auto it = block.find(key); it != block.end()) return CleanFirmwareText(it->second);
      return std::nullopt;
    };
    // Only what this block says: a processor met twice (s390) keeps the rest.
    auto keep = [](std::optional<std::string>& field, std::optional<std::string> value) {
      if (value) field = std::move(value);
    };
    keep(current->vendorId, get("vendor_id"));
    if (auto impl = block.find("CPU implementer"); !current->vendorId && impl != block.end()) {
      current->vendorId = ArmImplementerName(impl->second);
    }
    keep(current->modelName, get("model name"));
    if (!current->modelName) {
      // PowerPC: "POWER7 (architected), altivec supported".
      if (auto cpu = get("cpu")) current->modelName = cpu->substr(0, cpu->find(','));
    }
    keep(current->family, get("cpu family"));
    keep(current->model, get("model"));
    keep(current->stepping, get("stepping"));
    if (auto it = block.find("physical id"); it != block.end()) current->physicalId = ToInt(it->second);
    if (auto it = block.find("cpu MHz"); it != block.end()) current->mhz = LeadingNumber(it->second);
    if (auto it = block.find("clock"); !current->mhz && it != block.end()) current->mhz = LeadingNumber(it->second);
    block.clear();
    current = nullptr;
  };

  size_t at = 0;
  while (at < text.size()) {
    size_t eol = text.find('\n', at);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view line = text.substr(at, eol - at);
    at = eol + 1;
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
    if (!number && key.compare(0, 10, "processor ") == 0) number = ToInt(std::string_view(key).substr(10));
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

  // Global lines (s390 vendor, old ARM "Processor", ARM lines printed once after
  // the blocks) fill what the blocks lack.
  std::optional<std::string> globalVendor, globalName;
  if (auto it = info.global.find("vendor_id"); it != info.global.end()) globalVendor = CleanFirmwareText(it->second);
  if (auto it = info.global.find("CPU implementer"); !globalVendor && it != info.global.end()) {
    globalVendor = ArmImplementerName(it->second);
  }
  if (auto it = info.global.find("model name"); it != info.global.end()) globalName = CleanFirmwareText(it->second);
  if (auto it = info.global.find("Processor"); !globalName && it != info.global.end())
    globalName = CleanFirmwareText(it->second);
  for (CpuInfoProcessor& p : info.processors) {
    if (!p.vendorId) p.vendorId = globalVendor;
    if (!p.modelName) p.modelName = globalName;
  }
  return info;
}

}  // namespace brv
