#include "instrumentation/linux/HwIds.h"

#include <fmt/format.h>

#include "instrumentation/linux/FirmwareText.h"

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
size_t NextVendorLine(std::string_view text, size_t from, size_t to) {
  size_t at = from;
  if (at > 0 && text[at - 1] != '\n') {
    at = text.find('\n', at);
    if (at == std::string_view::npos) return at;
    ++at;
  }
  while (at < to) {
    if (VendorIdAt(text, at) >= 0) return at;
    at = text.find('\n', at);
    if (at == std::string_view::npos) return at;
    ++at;
  }
  return std::string_view::npos;
}

}  // namespace

// The id lists keep their vendors in ascending order, so the vendor's line is
// found by bisecting the bytes: a few dozen probes instead of reading megabytes.
size_t FindVendorLine(std::string_view text, uint16_t vendor) {
  size_t lo = 0, hi = text.size();
  while (hi - lo > 512) {
    const size_t mid = lo + (hi - lo) / 2;
    const size_t at = NextVendorLine(text, mid, hi);
    if (at == std::string_view::npos) {
      hi = mid;
      continue;
    }
    const int id = VendorIdAt(text, at);
    if (id == vendor) return at;
    if (id < vendor) {
      lo = at + 1;
    } else {
      hi = mid;
    }
  }
  for (size_t at = NextVendorLine(text, lo, hi); at != std::string_view::npos; at = NextVendorLine(text, at + 1, hi)) {
    if (VendorIdAt(text, at) == vendor) return at;
  }
  return std::string_view::npos;
}

IdNames FindIdNames(std::string_view list, uint16_t vendor, std::optional<uint16_t> device) {
  return NamesAtVendorLine(list, FindVendorLine(list, vendor), device);
}

IdNames NamesAtVendorLine(std::string_view list, size_t at, std::optional<uint16_t> device) {
  IdNames names;
  if (at >= list.size()) return names;
  const std::string_view vendorLine = LineAt(list, at);
  names.vendor = CleanFirmwareText(vendorLine.substr(6));  // after "vvvv  "
  if (!device) return names;
  const std::string deviceKey = fmt::format("\t{:04x}  ", *device);
  // The vendor's devices follow its line until the next line that is not
  // indented (comments and blank lines may sit between).
  size_t p = at + vendorLine.size() + 1;
  while (p < list.size()) {
    const std::string_view line = LineAt(list, p);
    p += line.size() + 1;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() != '\t') break;
    if (line.substr(0, deviceKey.size()) == deviceKey) {
      names.device = CleanFirmwareText(line.substr(deviceKey.size()));
      break;
    }
  }
  return names;
}

std::optional<std::string> FindPnpName(std::string_view list, std::string_view id) {
  if (id.size() != 3) return std::nullopt;
  const size_t at = FindLineStart(list, std::string(id) + "\t");
  if (at == std::string_view::npos) return std::nullopt;
  return CleanFirmwareText(LineAt(list, at).substr(4));
}

std::string_view HwIds::List(const std::string& name) const {
  std::lock_guard guard(lock_);
  auto& slot = lists_[name];
  if (!slot) {
    for (const char* dir : {"/usr/share/hwdata/", "/usr/share/misc/", "/usr/share/"}) {
      slot = fs_.Map(std::string(dir) + name);
      if (slot) break;
    }
    if (!slot) slot = std::make_shared<const MappedFile>(nullptr, 0);
  }
  return slot->text();
}

IdNames HwIds::Names(const std::string& list, uint16_t vendor, std::optional<uint16_t> device) const {
  const auto key = std::make_tuple(list, vendor, device ? int32_t{*device} : -1);
  std::optional<size_t> vendorAt;
  {
    std::lock_guard guard(foundLock_);
    if (auto it = found_.find(key); it != found_.end()) return it->second;
    if (auto it = vendorAt_.find({list, vendor}); it != vendorAt_.end()) vendorAt = it->second;
  }
  const std::string_view text = List(list);
  if (!vendorAt) vendorAt = FindVendorLine(text, vendor);
  IdNames names = NamesAtVendorLine(text, *vendorAt, device);
  std::lock_guard guard(foundLock_);
  vendorAt_.emplace(std::make_pair(list, vendor), *vendorAt);
  found_.emplace(key, names);
  return names;
}

IdNames HwIds::Pci(uint16_t vendor, std::optional<uint16_t> device) const { return Names("pci.ids", vendor, device); }

IdNames HwIds::Usb(uint16_t vendor, std::optional<uint16_t> product) const { return Names("usb.ids", vendor, product); }

std::optional<std::string> HwIds::Pnp(std::string_view id) const { return FindPnpName(List("pnp.ids"), id); }

}  // namespace brv
