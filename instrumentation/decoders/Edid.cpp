#include "instrumentation/decoders/Edid.h"

#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

constexpr size_t kBlock = 128;
constexpr unsigned char kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

uint8_t At(std::string_view b, size_t i) { return static_cast<uint8_t>(b[i]); }

// The 13 text bytes of a display descriptor end at the first 0x0A; the padding
// after it is blanks (some displays pad with NULs instead). Non-printable bytes
// at the end (0x01, 0xFF, 0xA0, a carriage return before the padding) are
// padding too. Blanks that fill the 13 bytes stay: a long name continues in the
// next descriptor after them ("Apple Cinema " + "Display").
std::string DescriptorText(std::string_view descriptor) {
  std::string_view text = descriptor.substr(5, 13);
  const size_t lf = text.find('\n');
  if (lf != std::string_view::npos) text = text.substr(0, lf);
  const size_t last = text.find_last_not_of(std::string_view("\x00\x01\xFF\xA0\r\t ", 7));
  const size_t end = last == std::string_view::npos ? 0 : last + 1;
  if (lf == std::string_view::npos && text.find_first_not_of(' ', end) == std::string_view::npos) {
    return std::string(text);
  }
  return std::string(text.substr(0, end));
}

// A detailed timing's active size; none for a descriptor that is no timing
// (a display descriptor, or one filled with one filler byte: a "1x1" mode).
bool TimingSize(std::string_view desc, uint32_t& width, uint32_t& height, double& refreshHz) {
  const unsigned clock = At(desc, 0) | (At(desc, 1) << 8);  // in 10 kHz
  if (clock == 0) return false;
  width = At(desc, 2) | ((At(desc, 4) & 0xF0u) << 4);
  height = At(desc, 5) | ((At(desc, 7) & 0xF0u) << 4);
  if (width < 2 || height < 2) return false;
  const uint32_t hTotal = width + (At(desc, 3) | ((At(desc, 4) & 0x0Fu) << 8));
  const uint32_t vTotal = height + (At(desc, 6) | ((At(desc, 7) & 0x0Fu) << 8));
  refreshHz = clock * 10000.0 / (static_cast<double>(hTotal) * vTotal);
  // An interlaced timing gives one field's lines: the frame has twice as many.
  if (At(desc, 17) & 0x80) height *= 2;
  return true;
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

  // Manufacturer: three 5-bit letters, 1 = 'A', big-endian in bytes 8-9; a
  // value outside 1 to 26 is shown as the kernel shows it ('@' + value).
  const unsigned id = (At(bytes, 8) << 8) | At(bytes, 9);
  for (int shift : {10, 5, 0}) info.manufacturerId.push_back(static_cast<char>('@' + ((id >> shift) & 0x1F)));
  info.productCode = static_cast<uint16_t>(At(bytes, 10) | (At(bytes, 11) << 8));
  info.serial32 = static_cast<uint32_t>(At(bytes, 12)) | (static_cast<uint32_t>(At(bytes, 13)) << 8) |
                  (static_cast<uint32_t>(At(bytes, 14)) << 16) | (static_cast<uint32_t>(At(bytes, 15)) << 24);

  // Week 0 tells no week, 0xFF that the year is the model's.
  if (At(bytes, 16) >= 1 && At(bytes, 16) <= 54) info.week = At(bytes, 16);
  if (At(bytes, 17) != 0) info.year = static_cast<uint16_t>(1990 + At(bytes, 17));
  // A size of 0 is none (or, in one of the two, an aspect ratio).
  if (At(bytes, 21) != 0 && At(bytes, 22) != 0) {
    info.widthCm = At(bytes, 21);
    info.heightCm = At(bytes, 22);
  }

  // Four 18-byte descriptors at 54: a detailed timing when its pixel clock is
  // non-zero, otherwise a display descriptor tagged by byte 3. The preferred
  // mode is the first detailed timing, whichever slot holds it.
  std::string name;
  for (size_t d = 0; d < 4; ++d) {
    const std::string_view desc = bytes.substr(54 + d * 18, 18);
    if ((At(desc, 0) | At(desc, 1)) != 0) {
      uint32_t width = 0, height = 0;
      double refresh = 0;
      if (!info.preferredWidth && TimingSize(desc, width, height, refresh)) {
        info.preferredWidth = width;
        info.preferredHeight = height;
        info.preferredRefreshHz = refresh;
      }
      continue;
    }
    if (At(desc, 2) != 0) continue;
    switch (At(desc, 3)) {
      case 0xFC:
        // A name longer than one descriptor continues in the next, joined as is.
        name += DescriptorText(desc);
        break;
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
