#pragma once
// Little-endian fields of firmware bytes. The caller has checked that the
// field lies within the bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brv {

inline uint16_t Le16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
inline uint32_t Le32(std::string_view b, size_t at) {
  return Le16(b, at) | (static_cast<uint32_t>(Le16(b, at + 2)) << 16);
}
inline uint64_t Le64(std::string_view b, size_t at) {
  return Le32(b, at) | (static_cast<uint64_t>(Le32(b, at + 4)) << 32);
}

}  // namespace brv
