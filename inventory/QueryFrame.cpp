#include "inventory/QueryFrame.h"

#include <exception>

#include "common/Trap.h"
#include "module/Module1.h"
#include "module/ModuleState.h"
#include "platform/MessageBox.h"

namespace brv::frame {

std::string Moniker() { return "winmgmts://" + Module().ComputerName + "/root/cimv2"; }

void ShowFailureBox() {
  const LocalTexts texts;
  // A collector passes no error on, not even one of the provider wording its
  // box: the box then speaks English.
  LocalTexts::Box box = LocalTexts::English(102, 103);
  try {
    box = texts.ForBox(102, 103);
  } catch (const Error&) {
  } catch (const std::exception&) {
  }
  MsgBox(box.prompt, 0, box.title);
}

void CheckPendingError() {
  if (ThreadError().pending()) ShowFailureBox();
}

std::unique_ptr<wmi::ObjectSet> Query(std::string_view className) {
  auto services = Try([] { return wmi::BindServices(Moniker()); });
  if (!services) {
    // Without a service object the query fails too.
    ThreadError().Set(err::kObjectNotSet, "no instrumentation service to query");
    return nullptr;
  }
  const std::string query = "select * from " + std::string(className);
  auto answer = Try([&] { return (*services)->ExecQuery(query); });
  return answer ? std::move(*answer) : nullptr;
}

int32_t ForEachInstance(wmi::ObjectSet* answer, const std::function<void(const wmi::Object*)>& pass, int32_t limit) {
  std::unique_ptr<wmi::Enumerator> enumerator;
  std::unique_ptr<wmi::Object> current;
  const bool started = answer && Try([&] {
                         enumerator = answer->Enumerate();
                         current = enumerator->Next();
                       });
  if (!started) {
    pass(nullptr);
    return 1;
  }
  int32_t passes = 0;
  while (current) {
    if (passes == kMaxInstances) {
      ThreadError().Set(err::kOverflow, "more instances than can be numbered");
      break;
    }
    pass(current.get());
    ++passes;
    if (passes == limit && limit < kMaxInstances) break;
    auto next = Try([&] { return enumerator->Next(); });
    if (!next) break;
    current = std::move(*next);
  }
  return passes;
}

std::optional<Variant> Read(const wmi::Object* instance, std::string_view property) {
  if (!instance) {
    ThreadError().Set(err::kObjectNotSet, "no instance to read " + std::string(property) + " from");
    return std::nullopt;
  }
  auto value = Try([&] { return instance->Get(property); });
  if (value && value->IsNull()) return std::nullopt;
  return value;
}

Variant ReadValue(const wmi::Object* instance, std::string_view property) {
  auto value = Read(instance, property);
  return value ? std::move(*value) : Variant(Module().EmptyText);
}

Variant ReadText(const wmi::Object* instance, std::string_view property) {
  auto value = Read(instance, property);
  if (!value) return Module().EmptyText;
  auto text = Try([&] { return TextOf(*value); });
  return text ? Variant(std::move(*text)) : Variant("");
}

ValueTable Run(const CategoryInfo& c) {
  ThreadError().Clear();
  const size_t columns = c.columns.size();
  std::vector<std::vector<Variant>> rows;
  auto answer = Query(c.className());
  const int32_t count = ForEachInstance(
      answer.get(),
      [&](const wmi::Object* instance) {
        CheckPendingError();
        std::vector<Variant>& row = rows.emplace_back(columns);
        row[0] = static_cast<int16_t>(rows.size());
        for (size_t k = 1; k < columns; ++k) {
          const Column& f = c.columns[k];
          row[k] = f.text ? ReadText(instance, f.property) : ReadValue(instance, f.property);
        }
      },
      c.capacity);
  // Instances the counter could not number are not left unnoticed.
  if (ThreadError().pending() && ThreadError().number() == err::kOverflow) ShowFailureBox();
  if (c.keepsCount) Module().CategoryCount[IndexOf(c.category)] = static_cast<int16_t>(count);
  ValueTable table(count + 1, columns);
  for (int32_t i = 0; i < count; ++i) {
    for (size_t col = 0; col < columns; ++col) table.at(i, static_cast<long>(col)) = std::move(rows[i][col]);
  }
  ThreadError().Clear();
  return table;
}

size_t ColumnOf(const CategoryInfo& category, int32_t caption) {
  const std::optional<size_t> column = category.ColumnOf(caption);
  if (!column) Raise(err::kSubscript, "the category has no caption " + std::to_string(caption));
  return *column;
}

std::string_view PropertyOf(const CategoryInfo& category, int32_t caption) {
  return category.columns[ColumnOf(category, caption)].property;
}

}  // namespace brv::frame
