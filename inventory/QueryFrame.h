#pragma once
// What every collector does alike: bind the instrumentation namespace, run
// "select * from CLASS", make one pass per instance, read properties with the
// null rule, keep any failure pending and show it at the start of the next pass.
// A standard collector is its category's entry in the catalogue; the collectors
// that depart from the standard run build on the same pieces.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Category.h"
#include "common/Variant.h"
#include "inventory/Catalogue.h"
#include "module/ValueTable.h"
#include "platform/Instrumentation.h"
#include "platform/InstrumentationClasses.h"

namespace brv::frame {

// "winmgmts://" + ComputerName + "/root/cimv2".
std::string Moniker();

// The failure box: messages 102 and 103, or their English texts. Choosing the
// texts creates the provider, which clears the pending error.
void ShowFailureBox();

// The standard check at the start of a pass: a pending error shows the box.
void CheckPendingError();

// Binds the namespace and runs the query for a class. A failure is left pending
// and answers null, so that the enumeration cannot start.
std::unique_ptr<wmi::ObjectSet> Query(std::string_view className);

// No run gathers more instances than the 16-bit instance counter can number.
inline constexpr int32_t kMaxInstances = 32767;

// Enumerates the answer, one pass per instance in the service's order. When the
// enumeration cannot start, the pass runs exactly once with no instance (null).
// A failed fetch ends the enumeration with its error pending. Answers the number
// of passes. With a limit, the enumeration stops after that many passes; past
// kMaxInstances it stops with an overflow pending.
int32_t ForEachInstance(wmi::ObjectSet* answer, const std::function<void(const wmi::Object*)>& pass,
                        int32_t limit = kMaxInstances);

// A property's value; nullopt when it is null or cannot be read (a failed read
// stays pending). With no instance every read fails.
std::optional<Variant> Read(const wmi::Object* instance, std::string_view property);
// A property's value, or EmptyText when it is null or cannot be read (a failed
// read stays pending). With no instance every read fails.
Variant ReadValue(const wmi::Object* instance, std::string_view property);
// The same, stored as text: the value's text form. A value without one (an
// array) stores the empty text and leaves an error pending.
Variant ReadText(const wmi::Object* instance, std::string_view property);

// The standard run of a category as the catalogue declares it: the table has
// one row per instance (column 0 the instance number 1, 2, ...), an empty last
// row, and the count goes to CategoryCount.
ValueTable Run(const CategoryInfo& category);

// The column of a category captioned by this message number; a caption the
// category lacks is a fault of the category's own code.
size_t ColumnOf(const CategoryInfo& category, int32_t caption);
// The property that column shows.
std::string_view PropertyOf(const CategoryInfo& category, int32_t caption);

}  // namespace brv::frame
