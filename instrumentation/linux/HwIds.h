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

#include "instrumentation/decoders/IdLists.h"
#include "instrumentation/linux/RootFs.h"

namespace brv {

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
    std::unique_ptr<PnpIndex> pnp;  // pnp.ids: every id of three letters, once read
  };
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
