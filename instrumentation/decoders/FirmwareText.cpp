#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

bool IsPad(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0' || c == '\v' || c == '\f'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Placeholders seen in real firmware tables, drive identify data and battery
// descriptors. Compared without regard to case.
constexpr std::string_view kPlaceholders[] = {"To be filled by O.E.M.",
                                              "To be filled by O.E.M",
                                              "To be filled by OEM",
                                              "Default string",
                                              "Default",
                                              "Not Specified",
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

std::string_view TrimText(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsPad(text[begin])) ++begin;
  while (end > begin && IsPad(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool IsPlaceholder(std::string_view text) {
  const std::string_view t = TrimText(text);
  if (t.empty()) return true;
  for (std::string_view p : kPlaceholders) {
    if (EqualNoCase(t, p)) return true;
  }
  // A field filled with one repeated filler character: "00000000", "FFFFFFFF",
  // "........", "--------", "xxxxxxxx".
  const char first = Lower(t.front());
  if (first == '0' || first == 'f' || first == '.' || first == '-' || first == 'x' || first == '*' || first == '\xff') {
    bool same = true;
    for (char c : t) same = same && Lower(c) == first;
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
    const auto u = static_cast<unsigned char>(t[i]);
    if (u >= 0x20 && u < 0x7F) {
      out.push_back(t[i++]);
      continue;
    }
    size_t extra = 0;
    if (u >= 0xC2 && u <= 0xDF)
      extra = 1;
    else if (u >= 0xE0 && u <= 0xEF)
      extra = 2;
    else if (u >= 0xF0 && u <= 0xF4)
      extra = 3;
    bool valid = extra > 0;
    for (size_t k = 1; valid && k <= extra; ++k) {
      if (i + k >= t.size() || (static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) valid = false;
    }
    if (valid) {
      out.append(t.substr(i, extra + 1));
      i += extra + 1;
    } else {
      out.push_back('?');
      ++i;
    }
  }
  return out;
}

}  // namespace brv
