// "HDD": one row per disk, joining two classes by position: the standard disk
// class gives model and size, the maker's disk class serial number and firmware
// revision (its first record belongs to the first disk, and so on). Departures
// from the standard run: two queries, each on its own binding; the second query
// stores no instance number, and its error check lets a pending generic failure
// (0x80041001) pass without a box.
#include "common/Trap.h"
#include "inventory/Catalogue.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"
#include "module/ModuleState.h"

namespace brv {

ValueTable GetHDDInfo() {
  ThreadError().Clear();
  const CategoryInfo& info = CatalogueOf(Category::HDD);
  const auto property = [&](int32_t caption) { return frame::PropertyOf(info, caption); };
  struct Disk {
    Variant index, model, size;
  };
  struct Record {
    Variant serial, firmware;
  };
  std::vector<Disk> disks;
  std::vector<Record> records;

  auto standard = frame::Query(info.className());
  const int32_t n = frame::ForEachInstance(standard.get(), [&](const wmi::Object* disk) {
    frame::CheckPendingError();
    disks.push_back({static_cast<int16_t>(disks.size() + 1), frame::ReadValue(disk, property(452)),
                     frame::ReadValue(disk, property(453))});
  });
  // The number of disks, which is also the number of rows the table can show.
  Module().CategoryCount[IndexOf(Category::HDD)] = static_cast<int16_t>(n);

  auto maker = frame::Query(ClassName(*info.joined));
  frame::ForEachInstance(maker.get(), [&](const wmi::Object* record) {
    if (ThreadError().pending() && ThreadError().number() != err::kWbemFailed) frame::ShowFailureBox();
    records.push_back({frame::ReadValue(record, property(454)), frame::ReadText(record, property(455))});
  });

  const auto column = [&](int32_t caption) { return static_cast<long>(frame::ColumnOf(info, caption)); };
  ValueTable table(n + 1, info.columns.size());
  for (int32_t r = 0; r < n; ++r) {
    table.at(r, 0) = disks[r].index;
    table.at(r, column(452)) = disks[r].model;
    table.at(r, column(453)) = disks[r].size;
    // A disk without a maker record at its position: no serial, an empty firmware text.
    const bool joined = static_cast<size_t>(r) < records.size();
    table.at(r, column(454)) = joined ? records[r].serial : Variant();
    table.at(r, column(455)) = joined ? records[r].firmware : Variant("");
  }
  ThreadError().Clear();
  return table;
}

}  // namespace brv
