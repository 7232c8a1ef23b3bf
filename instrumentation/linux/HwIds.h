#pragma once
// Names of PCI and USB vendors and devices and of display manufacturers (PNP ids)
// from hwdata's id lists (pci.ids, usb.ids, pnp.ids under /usr/share/hwdata or
// /usr/share/misc, read through the root). The lists are megabytes long, so they
// are searched for the one id asked rather than parsed whole; each list is read
// once (at most RootFs::kMapLimit bytes) and kept, and so is each name found,
// for later look-ups.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "instrumentation/linux/RootFs.h"

namespace brv {

struct IdNames {
  std::optional<std::string> vendor;
  std::optional<std::string> device;
};

// The look-ups on the text of one list, for the tests and for HwIds. Each
// adds the bytes it crossed to `*crossed` when given.
// pci.ids and usb.ids: "vvvv  Vendor" lines, each followed by "\tdddd  Device" lines.
IdNames FindIdNames(std::string_view list, uint16_t vendor, std::optional<uint16_t> device);
// Where the vendor's line starts; npos when the list has none.
size_t FindVendorLine(std::string_view list, uint16_t vendor, size_t* crossed = nullptr);
// The names from the vendor line at `at` (none when `at` is past the end) and
// the device line below it.
IdNames NamesAtVendorLine(std::string_view list, size_t at, std::optional<uint16_t> device, size_t* crossed = nullptr);
// pnp.ids: "AAA\tName" lines.
std::optional<std::string> FindPnpName(std::string_view list, std::string_view id);

// Where each vendor's line and each device's line of a list starts (the first
// of each id), found in one pass; what the searches give, at a cost that no
// longer depends on the list.
class IdListIndex {
 public:
  explicit IdListIndex(std::string_view list);
  IdNames Find(std::string_view list, uint16_t vendor, std::optional<uint16_t> device) const;

 private:
  std::vector<std::pair<uint16_t, uint32_t>> vendors_;  // by id
  std::vector<std::pair<uint32_t, uint32_t>> devices_;  // by vendor << 16 | device
};

class HwIds {
 public:
  explicit HwIds(const RootFs& fs) : fs_(fs) {}
  IdNames Pci(uint16_t vendor, std::optional<uint16_t> device) const;
  IdNames Usb(uint16_t vendor, std::optional<uint16_t> product) const;
  std::optional<std::string> Pnp(std::string_view id) const;

 private:
  // One list as read, and what its searches have cost. The lists keep their
  // ids in order and are searched by bisection, crossing a few kilobytes per
  // id; once the searches of a list have crossed more than its length
  // (a list out of order or made to be slow, or very many ids asked), the list
  // is indexed whole instead.
  struct List {
    std::shared_ptr<const MappedFile> file;
    size_t crossed = 0;
    std::unordered_map<uint16_t, size_t> vendorAt;  // a vendor's line, for its other devices
    std::unique_ptr<IdListIndex> index;
    std::vector<uint32_t> pnp;  // pnp.ids: the line of each id of three letters, once read
  };
  static constexpr uint32_t kNoLine = UINT32_MAX;
  List& Load(const std::string& name) const;
  IdNames Names(const std::string& list, uint16_t vendor, std::optional<uint16_t> device) const;

  const RootFs& fs_;
  mutable std::mutex lock_;
  mutable std::map<std::string, List> lists_;
  // A search may cross the whole block of a vendor with thousands of devices;
  // the answers, by list, vendor and device (-1 for none), are kept, up to a
  // number no machine reaches (a tree changing its ids all day starts again).
  static constexpr size_t kMostFound = 1u << 16;
  mutable std::map<std::tuple<std::string, uint16_t, int32_t>, IdNames> found_;
};

}  // namespace brv
