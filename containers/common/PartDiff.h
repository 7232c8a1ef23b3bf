#pragma once
// What changed between two inventories, in the control's terms: both are
// documents as InventoryDocument draws them (caption → the text the grid shows),
// and per category the parts are matched by what identifies them, not by their
// position, then told apart as added, removed or changed, with the facts that
// changed.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace brv {

// How the parts of one category are told apart, by the English captions of
// their rows:
// - `keys`: the sets of captions that identify a part, tried in turn; a part is
//   known by the first set it has a value for every caption of. Two parts are
//   matched by a later set only when they do not both have an earlier one (two
//   disks with serial numbers that differ are two disks, whatever their model).
//   A part with none of them is matched by its position among the parts of its
//   category that have none either.
// - `moving`: facts that change by themselves while the part stays as it was
//   (an address given out afresh, a dock's state); they count only when asked.
struct PartIdentity {
  std::string_view category;
  std::vector<std::vector<std::string_view>> keys;
  std::vector<std::string_view> moving;
};

// The one table of these, every category in the control's order.
const std::vector<PartIdentity>& PartIdentities();

// Every category's first row: the instance's number, its position, which is no
// fact of the part (its English caption).
std::string_view PositionCaption();

struct Part {
  int32_t index = 0;                // its instance number in its inventory
  nlohmann::ordered_json identity;  // caption → value it was matched by; null when by position
  nlohmann::ordered_json facts;     // its whole row set, as the grid shows it
};

struct ChangedPart {
  int32_t oldIndex = 0, newIndex = 0;
  nlohmann::ordered_json identity;  // as in Part
  // caption → {"before": value, "after": value}, in the rows' order
  nlohmann::ordered_json facts;
};

struct CategoryChanges {
  std::string category;
  bool failedOld = false, failedNew = false;  // not read on that side: not compared
  std::vector<Part> removed;                  // in the old inventory's order
  std::vector<Part> added;                    // in the new inventory's order
  std::vector<ChangedPart> changed;           // in the new inventory's order
  bool Any() const { return !removed.empty() || !added.empty() || !changed.empty(); }
};

struct InventoryChanges {
  std::vector<CategoryChanges> categories;  // every category, in the control's order
  bool AnyChange() const;
  bool AnyFailure() const;
};

// Compares two inventory documents. A category that is null in a document
// (its call failed), missing there, or named by one of its "messages" or
// "errors" (the control could not read all of it) is reported as failed on that
// side and not compared: what was drawn of it is not all there is. `all` counts the moving facts too. Throws
// std::invalid_argument for a document that is not an inventory.
InventoryChanges CompareInventories(const nlohmann::ordered_json& before, const nlohmann::ordered_json& after,
                                    bool all);

// The changes as JSON, every category present:
//   {"CPU": {"failed": [], "removed": [PART], "added": [PART], "changed": [CHANGE]}, ...}
//   PART:   {"index": 1, "identity": {CAPTION: VALUE} or null, "facts": {CAPTION: VALUE}}
//   CHANGE: {"index": {"before": 1, "after": 2}, "identity": ..., "facts": {CAPTION: {"before", "after"}}}
// "failed" lists the sides ("old", "new") a category could not be read on.
nlohmann::ordered_json ChangesJson(const InventoryChanges& changes);

}  // namespace brv
