// "Display": the one display, from the first panel record and the first video
// adapter record, in a single row. Unlike the standard run it reads two classes,
// only their first instances, writes straight into the table, checks for a
// pending error once after each class, and keeps no count.
#include "common/Trap.h"
#include "inventory/Collectors.h"
#include "inventory/QueryFrame.h"
#include "module/ModuleState.h"

namespace brv {

ValueTable GetDisplayInfo() {
  ThreadError().Clear();
  const std::string& emptyText = Module().EmptyText;
  ValueTable table(2, 5);
  // A class that answered without a record still numbers the row and shows
  // its two cells as having no value.
  const auto noRecord = [&](int first, int second) {
    table.at(0, 0) = int16_t{1};
    table.at(0, first) = emptyText;
    table.at(0, second) = emptyText;
  };

  auto panels = frame::Query(ClassName(InstrumentationClass::LcdPanel));
  const int32_t p = frame::ForEachInstance(
      panels.get(),
      [&](const wmi::Object* panel) {
        table.at(0, 0) = int16_t{1};
        table.at(0, 1) = frame::ReadValue(panel, "HorizontalResolution");
        table.at(0, 2) = frame::ReadValue(panel, "VerticalResolution");
      },
      1);
  if (p == 0) noRecord(1, 2);
  frame::CheckPendingError();

  auto adapters = frame::Query(ClassName(InstrumentationClass::VideoConfiguration));
  const int32_t a = frame::ForEachInstance(
      adapters.get(),
      [&](const wmi::Object* adapter) {
        table.at(0, 0) = int16_t{1};
        table.at(0, 3) = frame::ReadValue(adapter, "AdapterChipType");
        const std::optional<Variant> ram = frame::Read(adapter, "AdapterRAM");
        if (!ram) {
          table.at(0, 4) = emptyText;
          return;
        }
        // Whole mebibytes, rounded half to even. Held in 32 bits, so that adapters
        // of 32 GiB and more show their size; a value that is no number shows 0.
        int32_t mebibytes = 0;
        Try([&] { mebibytes = RoundToInt32(ToDouble(*ram) / 1024 / 1024); });
        table.at(0, 4) = mebibytes;
      },
      1);
  if (a == 0) noRecord(3, 4);
  // Neither class has a record: nothing to show at all.
  if (p == 0 && a == 0) {
    for (int c = 0; c < 5; ++c) table.at(0, c) = "";
  }
  frame::CheckPendingError();
  ThreadError().Clear();
  return table;
}

}  // namespace brv
