#pragma once
// Searching hwdata's id lists (pci.ids, usb.ids, pnp.ids) as text: the names
// of a vendor and its device, or of a display maker. The lists are megabytes
// long, so a name is searched for rather than the list parsed whole, and
// indexes are built in one pass when many names are asked. Finding the lists
// is the live source's business (HwIds).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// pnp.ids: where the line of each id of three letters starts, found in one pass.
class PnpIndex {
 public:
  explicit PnpIndex(std::string_view list);
  // Whether `id` has the form of a maker's id: three capital letters or '?'.
  static bool IsId(std::string_view id);
  std::optional<std::string> Find(std::string_view list, std::string_view id) const;

 private:
  static constexpr uint32_t kNoLine = UINT32_MAX;
  std::vector<uint32_t> lines_;
};

}  // namespace brv
