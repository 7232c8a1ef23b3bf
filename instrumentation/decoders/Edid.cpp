#include "instrumentation/decoders/Edid.h"

#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

constexpr size_t kBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

uint8_t At(std::string_view b, size_t i) { return static_cast<uint8_t>(b[i]); }

// The 13 text bytes of a display descriptor end at the first 0x0A; the padding
// after it is blanks (some displays pad with NULs instead).
std::string DescriptorText(std::string_view descriptor) {
  std::string_view text = descriptor.substr(5, 13);
  if (const size_t lf = text.find('\n'); lf != std::string_view::npos) text = text.substr(0, lf);
  return std::string(text);
}

}  // namespace

std::optional<EdidInfo> DecodeEdid(std::string_view bytes) {
  if (bytes.size() < kBlock) return std::nullopt;
  for (size_t i = 0; i < 8; ++i) {
    if (At(bytes, i) != kHeader[i]) return std::nullopt;
  }
  EdidInfo info;
  unsigned sum = 0;
  for (size_t i = 0; i < kBlock; ++i) sum += At(bytes, i);
  info.checksumValid = (sum & 0xFF) == 0;

  // Manufacturer: three 5-bit letters, 1 = 'A', big-endian in bytes 8-9.
  const unsigned id = (At(bytes, 8) << 8) | At(bytes, 9);
  for (int shift : {10, 5, 0}) {
    const unsigned letter = (id >> shift) & 0x1F;
    info.manufacturerId.push_back(letter >= 1 && letter <= 26 ? static_cast<char>('A' + letter - 1) : '?');
  }
  info.productCode = static_cast<uint16_t>(At(bytes, 10) | (At(bytes, 11) << 8));
  info.serial32 = static_cast<uint32_t>(At(bytes, 12)) | (static_cast<uint32_t>(At(bytes, 13)) << 8) |
                  (static_cast<uint32_t>(At(bytes, 14)) << 16) | (static_cast<uint32_t>(At(bytes, 15)) << 24);

  // Four 18-byte descriptors at 54: a detailed timing when its pixel clock is
  // non-zero, otherwise a display descriptor tagged by byte 3.
  std::string name;
  for (size_t d = 0; d < 4; ++d) {
    const std::string_view desc = bytes.substr(54 + d * 18, 18);
    const unsigned clock = At(desc, 0) | (At(desc, 1) << 8);
    if (clock != 0) {
      if (d == 0) {
        const uint32_t width = At(desc, 2) | ((At(desc, 4) & 0xF0u) << 4);
        const uint32_t height = At(desc, 5) | ((At(desc, 7) & 0xF0u) << 4);
        if (width != 0 && height != 0) {
          info.preferredWidth = width;
          info.preferredHeight = height;
        }
      }
      continue;
    }
    if (At(desc, 2) != 0) continue;
    switch (At(desc, 3)) {
      case 0xFC: {
        // A long name is split over several name descriptors.
        const std::string part(TrimText(DescriptorText(desc)));
        if (!part.empty()) name += (name.empty() ? "" : " ") + part;
        break;
      }
      case 0xFF:
        if (!info.serialText) info.serialText = CleanFirmwareText(DescriptorText(desc));
        break;
      default: break;
    }
  }
  info.name = CleanFirmwareText(name);
  return info;
}

std::optional<std::string> EdidSerial(const EdidInfo& edid) {
  if (edid.serialText) return edid.serialText;
  switch (edid.serial32) {
    case 0:
    case 1:
    case 0x01010101:
    case 0xFFFFFFFF: return std::nullopt;
    default: return std::to_string(edid.serial32);
  }
}

}  // namespace brv
