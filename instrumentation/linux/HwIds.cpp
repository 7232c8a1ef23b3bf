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

}  // namespace

IdNames FindIdNames(std::string_view list, uint16_t vendor, std::optional<uint16_t> device) {
  IdNames names;
  const std::string key = fmt::format("{:04x}  ", vendor);
  const size_t at = FindLineStart(list, key);
  if (at == std::string_view::npos) return names;
  const std::string_view vendorLine = LineAt(list, at);
  names.vendor = CleanFirmwareText(vendorLine.substr(key.size()));
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

IdNames HwIds::Pci(uint16_t vendor, std::optional<uint16_t> device) const {
  return FindIdNames(List("pci.ids"), vendor, device);
}

IdNames HwIds::Usb(uint16_t vendor, std::optional<uint16_t> product) const {
  return FindIdNames(List("usb.ids"), vendor, product);
}

std::optional<std::string> HwIds::Pnp(std::string_view id) const { return FindPnpName(List("pnp.ids"), id); }

}  // namespace brv
