#pragma once
// The catalogue: every category declared once. For each, the class the control
// queries, the columns of its table (each tied to its caption by the caption's
// message number, and to the property it shows), whether it keeps a count, how
// diff tells its parts apart and which report fields send fills from it. The
// collectors, the caption lists, the category view, diff's identity rules and
// the report read it; a category that needs code of its own (the display, the
// disks, the network adapters) names that code here and declares the rest.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/Category.h"
#include "module/ValueTable.h"
#include "platform/InstrumentationClasses.h"

namespace brv {

// The unit of a number a column or detail holds, written after it for a person
// to read on a terminal.
enum class Unit { kNone, kBytes, kMebibytes, kMegahertz, kMilliwattHours };

// One row of a category's table, in the grid's order.
struct Column {
  int32_t caption;                 // message number of its caption
  std::string_view property = {};  // the property it shows; none for the instance number
  bool text = false;               // stored as the value's text form
  bool moving = false;             // changes by itself while the part stays (an address, a state)
  bool joined = false;             // read from the category's joined class, not its own
  Unit unit = Unit::kNone;         // the unit of its number, if it holds one
};

// How a detail is shown to a person: its own value, or with the detail's
// second property, or worked out from the part's other details.
enum class DetailShown {
  Value,
  Pair,      // "34 x 19 cm", "1920x1080": the property and `second`
  OfTotal,   // "2 of 4": the modules installed of the slots the property counts
  Wear,      // the capacity lost: `property` as designed, `second` now, as a percentage
  Diagonal,  // the image's diagonal in inches from its width and height in centimetres
};

// A fact shown below the grid, not in it: a property of the category's class
// or of the standard class that has it, read for the same part.
struct Detail {
  int32_t caption;  // message number of its caption
  InstrumentationClass source;
  std::string_view property;
  DetailShown shown = DetailShown::Value;
  std::string_view second = {};

  // The property as the sources declare it: its unit, and whether it moves by
  // itself (a clock, a charge, a link), so that its change is no change of the part.
  constexpr const DetailProperty& declared() const {
    for (const DetailProperty& p : kDetailProperties) {
      if (p.cls == source && p.name == property) return p;
    }
    throw "a detail of a property the sources do not declare";
  }
  constexpr DetailUnit unit() const { return declared().unit; }
  constexpr bool moving() const { return declared().moves; }
};

// How a report field takes its value from the columns shown.
enum class ReportAs {
  Text,        // the column's text
  Number,      // a whole number, else left out
  Megabytes,   // bytes shown, whole megabytes sent
  Constant,    // `constant` itself
  Dimensions,  // "WIDTHxHEIGHT" from the two columns
  Detail,      // the part's detail named `detail` (kilobytes when `second` is 1024), else `constant`
};

struct ReportField {
  std::string_view tag;
  int32_t caption = 0;  // the column (Dimensions: the width's)
  ReportAs as = ReportAs::Text;
  std::string_view constant = {};
  int32_t second = 0;  // Dimensions: the height's column; Detail: the divisor of its number
  std::string_view detail = {};
};

// The section of the inventory server's report a category's parts go to.
struct ReportSection {
  std::string_view tag;
  int64_t bit;         // the section's bit of HARDWARE/CHECKSUM
  bool first = false;  // the server keeps one row per machine: the first part only
  std::span<const ReportField> fields;
};

// A set of captions that identifies a part (see docs/part-identity.md).
using IdentityKey = std::span<const int32_t>;

struct CategoryInfo {
  Category category;
  InstrumentationClass source;                 // the class queried ("select * from CLASS")
  std::optional<InstrumentationClass> joined;  // a second class the category's own code reads
  int32_t capacity;                            // instances read at most
  bool keepsCount;                             // stores its count in CategoryCount
  std::span<const Column> columns;
  std::span<const IdentityKey> identity;  // tried in turn; none: parts are paired by position
  ReportSection report;
  ValueTable (*collector)();  // the design's collector for the category
  bool custom = false;        // its collector is code of its own, not the standard run
  std::span<const Detail> details = {};

  std::string_view name() const { return NameOf(category); }
  std::string_view className() const { return ClassName(source); }
  // The column captioned by this message number, if the category has it.
  std::optional<size_t> ColumnOf(int32_t caption) const;
};

// Every category, in the control's order.
std::span<const CategoryInfo> CategoryCatalogue();
const CategoryInfo& CatalogueOf(Category category);

}  // namespace brv
