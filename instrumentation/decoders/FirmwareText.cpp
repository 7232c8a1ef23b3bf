#include "instrumentation/decoders/FirmwareText.h"

#include "common/Text.h"

namespace brv {
namespace {

// Blanks, line ends and the NULs that pad fixed-width fields.
constexpr std::string_view kPad(" \t\n\r\0\v\f", 7);

// Placeholders seen in real firmware tables, drive identify data and battery
// descriptors. Compared without regard to case.
constexpr std::string_view kPlaceholders[] = {"To be filled by O.E.M.",
                                              "To be filled by O.E.M",
                                              "To be filled by OEM",
                                              "Default string",
                                              "Default",
                                              "Not Specified",
                                              "No Asset Information",
                                              "No Asset Tag",
                                              "Not Available",
                                              "Not Applicable",
                                              "Not Present",
                                              "N/A",
                                              "NA",
                                              "None",
                                              "Unknown",
                                              "Unknow",
                                              "Undefined",
                                              "OEM",
                                              "O.E.M.",
                                              "OEM_Define",
                                              "Null",
                                              "System Product Name",
                                              "System manufacturer",
                                              "System Manufacturer",
                                              "System Version",
                                              "System Serial Number",
                                              "System Name",
                                              "Base Board Serial Number",
                                              "Chassis Serial Number",
                                              "Type2 - Board Serial Number",
                                              "SerNum",
                                              "SerialNumber",
                                              "Serial Number",
                                              "0123456789",
                                              "123456789",
                                              "1234567890",
                                              "Empty",
                                              "Battery Manufacturer",
                                              "Battery Name",
                                              "Battery Serial Number"};

}  // namespace

std::string_view TrimText(std::string_view text) { return Trim(text, kPad); }

bool IsPlaceholder(std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return true;
  for (std::string_view p : kPlaceholders) {
    if (EqualNoCase(t, p)) return true;
  }
  // A field filled with one repeated filler character: "00000000", "FFFFFFFF",
  // "........", "--------", "xxxxxxxx".
  const char first = LowerAscii(t.front());
  if (first == '0' || first == 'f' || first == '.' || first == '-' || first == 'x' || first == '*' || first == '\xff') {
    bool same = true;
    for (char c : t) same = same && LowerAscii(c) == first;
    if (same) return true;
  }
  return false;
}

std::optional<std::string> CleanFirmwareText(std::string_view text) {
  // A NUL ends the text as the firmware meant it.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  const std::string_view t = TrimText(text);
  if (IsPlaceholder(t)) return std::nullopt;
  // Valid UTF-8 stays; control bytes and bytes that are not part of a valid
  // UTF-8 sequence become '?'.
  std::string out;
  out.reserve(t.size());
  for (size_t i = 0; i < t.size();) {
    const Utf8Char c = DecodeUtf8(t.substr(i));
    if (c.valid && (c.length > 1 || (c.code >= 0x20 && c.code < 0x7F))) {
      out.append(t.substr(i, c.length));
    } else {
      out.push_back('?');
    }
    i += c.length;
  }
  return out;
}

}  // namespace brv
