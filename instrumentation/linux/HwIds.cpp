#include "instrumentation/linux/HwIds.h"

namespace brv {

HwIds::List& HwIds::Load(const std::string& name) const {
  List& list = lists_[name];
  if (!list.file) {
    for (const char* dir : {"/usr/share/hwdata/", "/usr/share/misc/", "/usr/share/"}) {
      list.file = fs_.Map(std::string(dir) + name);
      if (list.file) break;
    }
    if (!list.file) list.file = std::make_shared<const MappedFile>(nullptr, 0);
  }
  return list;
}

IdNames HwIds::Names(const std::string& name, uint16_t vendor, std::optional<uint16_t> device) const {
  const auto key = std::make_tuple(name, vendor, device ? int32_t{*device} : -1);
  std::lock_guard guard(lock_);
  if (auto it = found_.find(key); it != found_.end()) return it->second;
  List& list = Load(name);
  const std::string_view text = list.file->text();
  if (!list.index && list.crossed > text.size() + (1u << 20)) list.index = std::make_unique<IdListIndex>(text);
  IdNames names;
  if (list.index) {
    names = list.index->Find(text, vendor, device);
  } else {
    auto at = list.vendorAt.find(vendor);
    if (at == list.vendorAt.end())
      at = list.vendorAt.emplace(vendor, FindVendorLine(text, vendor, &list.crossed)).first;
    names = NamesAtVendorLine(text, at->second, device, &list.crossed);
  }
  if (found_.size() >= kMostFound) found_.clear();
  found_.emplace(key, names);
  return names;
}

IdNames HwIds::Pci(uint16_t vendor, std::optional<uint16_t> device) const { return Names("pci.ids", vendor, device); }

IdNames HwIds::Usb(uint16_t vendor, std::optional<uint16_t> product) const { return Names("usb.ids", vendor, product); }

std::optional<std::string> HwIds::Pnp(std::string_view id) const {
  if (!PnpIndex::IsId(id)) return std::nullopt;
  std::lock_guard guard(lock_);
  List& list = Load("pnp.ids");
  const std::string_view text = list.file->text();
  if (!list.pnp) list.pnp = std::make_unique<PnpIndex>(text);
  return list.pnp->Find(text, id);
}

}  // namespace brv
