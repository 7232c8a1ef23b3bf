#include "instrumentation/decoders/IdLists.h"

#include <algorithm>
#include <cstring>

#include "instrumentation/decoders/FirmwareText.h"

namespace brv {
namespace {

// The line that starts with `prefix` (at the start of the text or after a line
// end); npos when there is none.
size_t FindLineStart(std::string_view text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) == prefix) return 0;
  const std::string needle = "\n" + std::string(prefix);
  const size_t at = text.find(needle);
  return at == std::string_view::npos ? at : at + 1;
}

std::string_view LineAt(std::string_view text, size_t at) {
  const size_t eol = text.find('\n', at);
  return text.substr(at, (eol == std::string_view::npos ? text.size() : eol) - at);
}

// A vendor line: four lower-case hexadecimal digits and two blanks at the start
// of a line. Its id, or -1 for any other line.
int VendorIdAt(std::string_view text, size_t at) {
  if (at + 6 > text.size() || text[at + 4] != ' ' || text[at + 5] != ' ') return -1;
  int id = 0;
  for (size_t i = at; i < at + 4; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      id = id * 16 + (c - '0');
    } else if (c >= 'a' && c <= 'f') {
      id = id * 16 + (c - 'a' + 10);
    } else {
      return -1;
    }
  }
  return id;
}

// The first vendor line that starts in [from, to); npos when there is none.
// Adds the bytes looked at to `crossed`.
size_t NextVendorLine(std::string_view text, size_t from, size_t to, size_t& crossed) {
  to = std::min(to, text.size());
  size_t at = from;
  if (at > 0 && at < to && text[at - 1] != '\n') {
    const size_t eol = text.substr(0, to).find('\n', at);
    crossed += (eol == std::string_view::npos ? to : eol) - at;
    if (eol == std::string_view::npos) return eol;
    at = eol + 1;
  }
  while (at < to) {
    if (VendorIdAt(text, at) >= 0) return at;
    const size_t eol = text.substr(0, to).find('\n', at);
    crossed += (eol == std::string_view::npos ? to : eol) - at;
    if (eol == std::string_view::npos) return eol;
    at = eol + 1;
  }
  return std::string_view::npos;
}

// "\tdddd  ": a device line; the device's id, or -1 for any other line.
int DeviceIdAt(std::string_view text, size_t at) {
  if (at + 1 >= text.size() || text[at] != '\t') return -1;
  return VendorIdAt(text, at + 1);
}

}  // namespace

// The id lists keep their vendors in ascending order, so the vendor's line is
// found by bisecting the bytes: a few dozen probes instead of reading megabytes.
size_t FindVendorLine(std::string_view text, uint16_t vendor, size_t* crossed) {
  size_t count = 0;
  size_t lo = 0, hi = text.size(), found = std::string_view::npos;
  while (hi - lo > 512) {
    const size_t mid = lo + (hi - lo) / 2;
    const size_t at = NextVendorLine(text, mid, hi, count);
    if (at == std::string_view::npos) {
      hi = mid;
      continue;
    }
    const int id = VendorIdAt(text, at);
    if (id == vendor) {
      found = at;
      break;
    }
    if (id < vendor) {
      lo = at + 1;
    } else {
      hi = mid;
    }
  }
  if (found == std::string_view::npos) {
    for (size_t at = NextVendorLine(text, lo, hi, count); at != std::string_view::npos;
         at = NextVendorLine(text, at + 1, hi, count)) {
      if (VendorIdAt(text, at) == vendor) {
        found = at;
        break;
      }
    }
  }
  if (crossed) *crossed += count;
  return found;
}

IdNames FindIdNames(std::string_view list, uint16_t vendor, std::optional<uint16_t> device) {
  return NamesAtVendorLine(list, FindVendorLine(list, vendor), device);
}

IdNames NamesAtVendorLine(std::string_view list, size_t at, std::optional<uint16_t> device, size_t* crossed) {
  IdNames names;
  if (at >= list.size()) return names;
  const std::string_view vendorLine = LineAt(list, at);
  names.vendor = CleanFirmwareText(vendorLine.substr(6));  // after "vvvv  "
  if (!device) return names;
  // The vendor's devices follow its line until the next line that is not
  // indented (comments and blank lines may sit between).
  const size_t from = at + vendorLine.size() + 1;
  size_t p = from;
  while (p < list.size()) {
    const std::string_view line = LineAt(list, p);
    const size_t start = p;
    p += line.size() + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() != '\t') break;
    if (DeviceIdAt(list, start) == *device) {
      names.device = CleanFirmwareText(line.substr(7));  // after "\tdddd  "
      break;
    }
  }
  if (crossed) *crossed += std::min(p, list.size()) - std::min(from, list.size());
  return names;
}

IdListIndex::IdListIndex(std::string_view list) {
  // The same lines the searches take: a vendor line, then its device lines
  // up to the next line that is not indented, blank or a comment.
  int vendor = -1;
  for (size_t at = 0; at < list.size();) {
    const char* eol = static_cast<const char*>(std::memchr(list.data() + at, '\n', list.size() - at));
    const size_t end = eol ? static_cast<size_t>(eol - list.data()) : list.size();
    const char first = at < end ? list[at] : '\n';
    if (const int id = VendorIdAt(list, at); id >= 0) {
      vendor = id;
      vendors_.emplace_back(static_cast<uint16_t>(id), static_cast<uint32_t>(at));
    } else if (first != '\n' && first != '#' && first != '\t') {
      vendor = -1;
    } else if (const int device = DeviceIdAt(list, at); device >= 0 && vendor >= 0) {
      const uint32_t key = static_cast<uint32_t>(vendor) << 16 | static_cast<uint32_t>(device);
      if (devices_.empty() || devices_.back().first != key) devices_.emplace_back(key, static_cast<uint32_t>(at));
    }
    at = end + 1;
  }
  // The first line of each id stands.
  auto byId = [](const auto& a, const auto& b) { return a.first < b.first; };
  auto sameId = [](const auto& a, const auto& b) { return a.first == b.first; };
  std::stable_sort(vendors_.begin(), vendors_.end(), byId);
  vendors_.erase(std::unique(vendors_.begin(), vendors_.end(), sameId), vendors_.end());
  std::stable_sort(devices_.begin(), devices_.end(), byId);
  devices_.erase(std::unique(devices_.begin(), devices_.end(), sameId), devices_.end());
}

IdNames IdListIndex::Find(std::string_view list, uint16_t vendor, std::optional<uint16_t> device) const {
  IdNames names;
  const auto v = std::lower_bound(vendors_.begin(), vendors_.end(), std::pair<uint16_t, uint32_t>(vendor, 0));
  if (v == vendors_.end() || v->first != vendor) return names;
  names.vendor = CleanFirmwareText(LineAt(list, v->second).substr(6));
  if (!device) return names;
  const uint32_t key = static_cast<uint32_t>(vendor) << 16 | *device;
  const auto d = std::lower_bound(devices_.begin(), devices_.end(), std::pair<uint32_t, uint32_t>(key, 0));
  if (d != devices_.end() && d->first == key) names.device = CleanFirmwareText(LineAt(list, d->second).substr(7));
  return names;
}

std::optional<std::string> FindPnpName(std::string_view list, std::string_view id) {
  if (id.size() != 3) return std::nullopt;
  const size_t at = FindLineStart(list, std::string(id) + "\t");
  if (at == std::string_view::npos) return std::nullopt;
  return CleanFirmwareText(LineAt(list, at).substr(4));
}

namespace {

// A monitor maker's id is three capital letters ("?" for a code that is none);
// its slot in the table of every possible id, or -1.
int PnpSlot(std::string_view s) {
  auto code = [](char c) { return c == '?' ? 26 : (c >= 'A' && c <= 'Z') ? c - 'A' : -1; };
  if (s.size() != 3) return -1;
  const int a = code(s[0]), b = code(s[1]), c = code(s[2]);
  return a < 0 || b < 0 || c < 0 ? -1 : (a * 27 + b) * 27 + c;
}

}  // namespace

bool PnpIndex::IsId(std::string_view id) { return PnpSlot(id) >= 0; }

PnpIndex::PnpIndex(std::string_view list) : lines_(size_t{27} * 27 * 27, kNoLine) {
  for (size_t at = 0; at < list.size();) {
    const char* eol = static_cast<const char*>(std::memchr(list.data() + at, '\n', list.size() - at));
    const size_t end = eol ? static_cast<size_t>(eol - list.data()) : list.size();
    if (end - at >= 4 && list[at + 3] == '\t') {
      if (const int n = PnpSlot(list.substr(at, 3)); n >= 0 && lines_[static_cast<size_t>(n)] == kNoLine) {
        lines_[static_cast<size_t>(n)] = static_cast<uint32_t>(at);
      }
    }
    at = end + 1;
  }
}

std::optional<std::string> PnpIndex::Find(std::string_view list, std::string_view id) const {
  const int slot = PnpSlot(id);
  if (slot < 0) return std::nullopt;
  const uint32_t at = lines_[static_cast<size_t>(slot)];
  if (at == kNoLine) return std::nullopt;
  return CleanFirmwareText(LineAt(list, at).substr(4));
}

}  // namespace brv
