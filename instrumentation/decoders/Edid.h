#pragma once
// Decoding of a display's EDID base block: who made it, what it is called, its
// serial number and its preferred mode. Takes the bytes as the kernel exposes
// them (/sys/class/drm/<connector>/edid) and never reads past them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brv {

struct EdidInfo {
  std::string manufacturerId;  // three-letter PNP id, "DEL"
  uint16_t productCode = 0;
  uint32_t serial32 = 0;                     // 0 when the display gives none
  std::optional<std::string> name;           // monitor-name descriptors (0xFC), joined
  std::optional<std::string> serialText;     // serial-number descriptor (0xFF)
  std::optional<uint32_t> preferredWidth;    // active pixels of the first detailed timing
  std::optional<uint32_t> preferredHeight;   // of the frame: twice the field's when interlaced
  std::optional<double> preferredRefreshHz;  // of that timing
  std::optional<uint16_t> year;              // of manufacture (or the model year)
  std::optional<uint8_t> week;               // of manufacture, 1 to 54
  std::optional<uint8_t> widthCm;            // the image's size, both or neither
  std::optional<uint8_t> heightCm;
  bool checksumValid = false;  // the base block's bytes add up to 0 mod 256
};

// Nothing when the bytes are shorter than a base block or do not start with the
// EDID header (00 FF FF FF FF FF FF 00). A wrong checksum is reported, not refused:
// real displays ship with them.
std::optional<EdidInfo> DecodeEdid(std::string_view bytes);

// The serial number a person finds on the display: the serial-number text when
// there is one, else the 32-bit number in decimal. Makers who do not number
// their displays leave placeholders in that field (0, 1, 0x01010101 or
// 0xFFFFFFFF, seen on real monitors beside a proper text serial or alone);
// those are no serial number.
std::optional<std::string> EdidSerial(const EdidInfo& edid);

}  // namespace brv
