// "Network Adapter": the adapters that report a MAC address and whose maker is
// not "Microsoft" (in any letter case), each with the first IP address of its
// configuration. Departures from the standard run: the two filters; two
// counters (kept adapters give the rows shown and the count, every adapter of
// the answer one row of the table); and a nested lookup per kept adapter, which
// clears the pending error in the middle of a pass.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Trap.h"
#include "inventory/Catalogue.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"
#include "module/ModuleState.h"

namespace brv {
namespace {

// The manufacturer filter. A null maker is no match; a maker that cannot be
// read (or has no text form) skips the adapter.
bool SkippedByMaker(const wmi::Object* adapter) {
  auto maker = Try([&] {
    if (!adapter) Raise(err::kObjectNotSet);
    return adapter->Get(frame::PropertyOf(CatalogueOf(Category::NetworkAdapter), 855));
  });
  if (!maker) return true;
  if (maker->IsNull()) return false;
  auto text = Try([&] { return TextOf(*maker); });
  return !text || ContainsNoCase(*text, "Microsoft");
}

// The MAC filter: only a MAC address known to be null skips the adapter; one
// that cannot be read lets it through to the next filter.
bool SkippedByMac(const wmi::Object* adapter) {
  auto mac = Try([&] {
    if (!adapter) Raise(err::kObjectNotSet);
    return adapter->Get(frame::PropertyOf(CatalogueOf(Category::NetworkAdapter), 854));
  });
  return mac && mac->IsNull();
}

}  // namespace

bool ShownAdapter(const wmi::Object* adapter) { return !SkippedByMac(adapter) && !SkippedByMaker(adapter); }

Variant GetIPAddress(int32_t index) {
  ThreadError().Clear();
  const CategoryInfo& info = CatalogueOf(Category::NetworkAdapter);
  const std::string moniker =
      frame::Moniker() + ":" + std::string(ClassName(*info.joined)) + "='" + std::to_string(index) + "'";
  auto configuration = Try([&] { return wmi::BindObject(moniker); });
  frame::CheckPendingError();
  const std::optional<Variant> addresses =
      frame::Read(configuration ? configuration->get() : nullptr, frame::PropertyOf(info, 853));
  if (!addresses) return Module().EmptyText;
  // The first address; when there is none to read, the empty text.
  auto first = Try([&] {
    const auto* list = addresses->get_if<Variant::Array>();
    if (!list || list->empty()) Raise(err::kSubscript, "no first address");
    return TextOf(list->front());
  });
  return first ? Variant(std::move(*first)) : Variant("");
}

ValueTable GetNetworkInfo() {
  ThreadError().Clear();
  const CategoryInfo& info = CatalogueOf(Category::NetworkAdapter);
  const auto column = [&](int32_t caption) { return frame::ColumnOf(info, caption); };
  const auto property = [&](int32_t caption) { return frame::PropertyOf(info, caption); };
  const size_t columns = info.columns.size();
  std::vector<std::vector<Variant>> kept;
  auto adapters = frame::Query(info.className());
  const int32_t e = frame::ForEachInstance(adapters.get(), [&](const wmi::Object* adapter) {
    frame::CheckPendingError();
    if (!ShownAdapter(adapter)) return;
    std::vector<Variant>& row = kept.emplace_back(columns);
    row[0] = static_cast<int16_t>(kept.size());
    if (auto mac = Try([&] { return adapter->Get(property(854)); })) row[column(854)] = std::move(*mac);
    row[column(851)] = frame::ReadValue(adapter, property(851));
    row[column(852)] = frame::ReadValue(adapter, property(852));
    row[column(855)] = frame::ReadValue(adapter, property(855));
    row[column(856)] = frame::ReadText(adapter, property(856));
    // The configuration is looked up by the adapter's index, whatever its size.
    if (auto index = Try([&] { return ToInt32(adapter->Get("Index")); })) row[column(853)] = GetIPAddress(*index);
  });
  const int32_t k = static_cast<int32_t>(kept.size());
  Module().CategoryCount[IndexOf(info.category)] = static_cast<int16_t>(k);

  ValueTable table(e + 1, columns);
  for (int32_t r = 0; r < e; ++r) {
    if (r < k) {
      for (size_t c = 0; c < columns; ++c) table.at(r, static_cast<long>(c)) = std::move(kept[r][c]);
    } else {
      table.at(r, static_cast<long>(column(856))) = "";  // rows of skipped adapters show nothing
    }
  }
  ThreadError().Clear();
  return table;
}

}  // namespace brv
