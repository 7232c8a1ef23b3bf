#pragma once
// Names of PCI and USB vendors and devices and of display manufacturers (PNP ids)
// from hwdata's id lists (pci.ids, usb.ids, pnp.ids under /usr/share/hwdata or
// /usr/share/misc, read through the root). The lists are megabytes long, so they
// are searched for the one id asked, never parsed whole; each list is read once
// and kept, and so is each name found, for later look-ups.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "instrumentation/linux/RootFs.h"

namespace brv {

struct IdNames {
  std::optional<std::string> vendor;
  std::optional<std::string> device;
};

// The look-ups on the text of one list, for the tests and for HwIds.
// pci.ids and usb.ids: "vvvv  Vendor" lines, each followed by "\tdddd  Device" lines.
IdNames FindIdNames(std::string_view list, uint16_t vendor, std::optional<uint16_t> device);
// Where the vendor's line starts; npos when the list has none.
size_t FindVendorLine(std::string_view list, uint16_t vendor);
// The names from the vendor line at `at` (none when `at` is past the end) and
// the device line below it.
IdNames NamesAtVendorLine(std::string_view list, size_t at, std::optional<uint16_t> device);
// pnp.ids: "AAA\tName" lines.
std::optional<std::string> FindPnpName(std::string_view list, std::string_view id);

class HwIds {
 public:
  explicit HwIds(const RootFs& fs) : fs_(fs) {}
  IdNames Pci(uint16_t vendor, std::optional<uint16_t> device) const;
  IdNames Usb(uint16_t vendor, std::optional<uint16_t> product) const;
  std::optional<std::string> Pnp(std::string_view id) const;

 private:
  std::string_view List(const std::string& name) const;
  IdNames Names(const std::string& list, uint16_t vendor, std::optional<uint16_t> device) const;

  const RootFs& fs_;
  mutable std::mutex lock_;
  mutable std::map<std::string, std::shared_ptr<const MappedFile>> lists_;
  // A search may cross the whole block of a vendor with thousands of devices;
  // the answers, by list, vendor and device (-1 for none), are kept.
  mutable std::mutex foundLock_;
  mutable std::map<std::tuple<std::string, uint16_t, int32_t>, IdNames> found_;
  mutable std::map<std::pair<std::string, uint16_t>, size_t> vendorAt_;  // a vendor's line, for its other devices
};

}  // namespace brv
