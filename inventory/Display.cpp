// "Display": the one display, from the first panel record and the first video
// adapter record, in a single row. Unlike the standard run it reads two classes,
// only their first instances, writes straight into the table, checks for a
// pending error once after each class, and keeps no count.
#include "common/Trap.h"
#include "inventory/Catalogue.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"
#include "module/ModuleState.h"

namespace brv {

ValueTable GetDisplayInfo() {
  ThreadError().Clear();
  const CategoryInfo& info = CatalogueOf(Category::Display);
  const auto column = [&](int32_t caption) { return static_cast<long>(frame::ColumnOf(info, caption)); };
  const auto property = [&](int32_t caption) { return frame::PropertyOf(info, caption); };
  const std::string& emptyText = Module().EmptyText;
  const long columns = static_cast<long>(info.columns.size());
  ValueTable table(2, columns);
  // A class that answered without a record still numbers the row and shows
  // its two cells as having no value.
  const auto noRecord = [&](long first, long second) {
    table.at(0, 0) = int16_t{1};
    table.at(0, first) = emptyText;
    table.at(0, second) = emptyText;
  };

  auto panels = frame::Query(info.className());
  const int32_t p = frame::ForEachInstance(
      panels.get(),
      [&](const wmi::Object* panel) {
        table.at(0, 0) = int16_t{1};
        table.at(0, column(401)) = frame::ReadValue(panel, property(401));
        table.at(0, column(402)) = frame::ReadValue(panel, property(402));
      },
      info.capacity);
  if (p == 0) noRecord(column(401), column(402));
  frame::CheckPendingError();

  auto adapters = frame::Query(ClassName(*info.joined));
  const int32_t a = frame::ForEachInstance(
      adapters.get(),
      [&](const wmi::Object* adapter) {
        table.at(0, 0) = int16_t{1};
        table.at(0, column(403)) = frame::ReadValue(adapter, property(403));
        const std::optional<Variant> ram = frame::Read(adapter, property(404));
        if (!ram) {
          table.at(0, column(404)) = emptyText;
          return;
        }
        // Whole mebibytes, rounded half to even. Held in 32 bits, so that adapters
        // of 32 GiB and more show their size; a value that is no number shows 0.
        int32_t mebibytes = 0;
        Try([&] { mebibytes = RoundToInt32(ToDouble(*ram) / 1024 / 1024); });
        table.at(0, column(404)) = mebibytes;
      },
      info.capacity);
  if (a == 0) noRecord(column(403), column(404));
  // Neither class has a record: nothing to show at all.
  if (p == 0 && a == 0) {
    for (long c = 0; c < columns; ++c) table.at(0, c) = "";
  }
  frame::CheckPendingError();
  ThreadError().Clear();
  return table;
}

}  // namespace brv
