#include "tests/support/SmbiosDump.h"

#include <algorithm>
#include <cstdint>

#include "instrumentation/decoders/LittleEndian.h"

namespace brv {

std::optional<std::string> SmbiosTableFromDump(std::string_view dump) {
  if (dump.size() >= 24 && dump.substr(0, 5) == "_SM3_") {
    const uint32_t maxLength = Le32(dump, 0x0C);
    const uint64_t address = Le64(dump, 0x10);
    if (address >= dump.size()) return std::nullopt;
    const size_t length = static_cast<size_t>(std::min<uint64_t>(maxLength, dump.size() - address));
    return std::string(dump.substr(static_cast<size_t>(address), length));
  }
  if (dump.size() >= 31 && dump.substr(0, 4) == "_SM_" && dump.substr(0x10, 5) == "_DMI_") {
    const uint16_t length = Le16(dump, 0x16);
    const uint32_t address = Le32(dump, 0x18);
    if (address >= dump.size()) return std::nullopt;
    const size_t take = std::min<size_t>(length, dump.size() - address);
    return std::string(dump.substr(address, take));
  }
  // A legacy entry point with only the "_DMI_" anchor.
  if (dump.size() >= 15 && dump.substr(0, 5) == "_DMI_") {
    const uint16_t length = Le16(dump, 0x06);
    const uint32_t address = Le32(dump, 0x08);
    if (address >= dump.size()) return std::nullopt;
    const size_t take = std::min<size_t>(length, dump.size() - address);
    return std::string(dump.substr(address, take));
  }
  return std::nullopt;
}

}  // namespace brv
