// Any bytes as firmware and kernel data: the SMBIOS table, an EDID block and
// /proc/cpuinfo decode or come back empty, never reading past the end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "instrumentation/decoders/Edid.h"
#include "instrumentation/decoders/Smbios.h"
#include "instrumentation/linux/CpuInfo.h"
#include "tests/support/SmbiosDump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto table = brv::SplitSmbiosTable(bytes);
  brv::DecodeSmbiosProcessors(table);
  brv::DecodeSmbiosMemoryDevices(table);
  brv::DecodeSmbiosBatteries(table);
  if (auto dumped = brv::SmbiosTableFromDump(bytes)) brv::SplitSmbiosTable(*dumped);
  brv::DecodeEdid(bytes);
  brv::ParseCpuInfo(bytes);
  return 0;
}
