#include "containers/common/PartDiff.h"

#include <bit>
#include <deque>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "common/Category.h"
#include "inventory/Catalogue.h"
#include "module/EnglishText.h"

namespace brv {
namespace {

using Json = nlohmann::ordered_json;

}  // namespace

const std::vector<PartIdentity>& PartIdentities() {
  // The catalogue's rules in the captions of --json (English whatever the
  // language); written down with an example each in docs/part-identity.md.
  static const std::vector<PartIdentity> kTable = [] {
    std::vector<PartIdentity> table;
    for (const CategoryInfo& c : CategoryCatalogue()) {
      PartIdentity& rule = table.emplace_back(PartIdentity{c.name(), {}, {}});
      for (const IdentityKey& key : c.identity) {
        std::vector<std::string_view>& captions = rule.keys.emplace_back();
        for (int32_t caption : key) captions.push_back(EnglishText(caption));
      }
      for (const Column& column : c.columns) {
        if (column.moving) rule.moving.push_back(EnglishText(column.caption));
      }
      // Details are compared by the names of their properties.
      for (const Detail& detail : c.details) {
        if (detail.moving()) rule.moving.push_back(detail.property);
      }
    }
    return table;
  }();
  return kTable;
}

std::string_view PositionCaption() { return EnglishText(CatalogueOf(Category::CPU).columns.front().caption); }

namespace {

const PartIdentity& IdentityOf(std::string_view category) {
  for (const PartIdentity& p : PartIdentities()) {
    if (p.category == category) return p;
  }
  throw std::logic_error("no identity for " + std::string(category));
}

// The text a part shows for a caption, or nothing when it shows none (the
// empty text, or only blanks).
const std::string* Shown(const Json& part, std::string_view caption) {
  const auto it = part.find(std::string(caption));
  if (it == part.end() || !it->is_string()) return nullptr;
  const std::string& text = it->get_ref<const std::string&>();
  return text.find_first_not_of(' ') == std::string::npos ? nullptr : &text;
}

// The key of a part by one set of captions: each value with its length before
// it, so that no two sets of values make the same key.
std::optional<std::string> KeyOf(const Json& part, const std::vector<std::string_view>& captions) {
  std::string key;
  for (std::string_view caption : captions) {
    const std::string* text = Shown(part, caption);
    if (!text) return std::nullopt;
    key += std::to_string(text->size());
    key += ':';
    key += *text;
  }
  return key;
}

struct Keyed {
  std::vector<std::optional<std::string>> keys;  // per set of the rule
  unsigned mask = 0;                             // bit k: the part has key k
  int partner = -1;                              // the matched part on the other side
  int by = -1;                                   // the set it was matched by; -1 by position
};

std::vector<Keyed> KeysOf(const Json& parts, const PartIdentity& rule) {
  std::vector<Keyed> keyed(parts.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    for (size_t k = 0; k < rule.keys.size(); ++k) {
      keyed[i].keys.push_back(KeyOf(parts[i], rule.keys[k]));
      if (keyed[i].keys.back()) keyed[i].mask |= 1u << k;
    }
  }
  return keyed;
}

// Pairs the parts of both sides: by each set of captions in turn, then the
// parts without identity by their order.
void Match(std::vector<Keyed>& olds, std::vector<Keyed>& news, size_t sets) {
  for (size_t k = 0; k < sets; ++k) {
    const unsigned earlier = (1u << k) - 1;
    // The new parts not matched yet that have key k, by key and by which
    // earlier keys they have, in their order.
    std::unordered_map<std::string, std::deque<int>> buckets;
    const auto bucket = [](const std::string& key, unsigned mask) { return key + '\0' + std::to_string(mask); };
    for (size_t j = 0; j < news.size(); ++j) {
      if (news[j].partner < 0 && news[j].keys[k])
        buckets[bucket(*news[j].keys[k], news[j].mask & earlier)].push_back(static_cast<int>(j));
    }
    if (buckets.empty()) continue;
    for (size_t i = 0; i < olds.size(); ++i) {
      Keyed& old = olds[i];
      if (old.partner >= 0 || !old.keys[k]) continue;
      // Only parts that do not share an earlier key with this one: had both
      // one, it would have matched them.
      std::deque<int>* best = nullptr;
      for (unsigned m = 0; m <= earlier; ++m) {
        if ((m & old.mask) != 0) continue;
        const auto found = buckets.find(bucket(*old.keys[k], m));
        if (found == buckets.end() || found->second.empty()) continue;
        if (!best || found->second.front() < best->front()) best = &found->second;
      }
      if (!best) continue;
      const int j = best->front();
      best->pop_front();
      old.partner = j;
      news[j].partner = static_cast<int>(i);
      old.by = news[j].by = static_cast<int>(k);
    }
  }
  size_t j = 0;
  for (size_t i = 0; i < olds.size(); ++i) {
    if (olds[i].partner >= 0 || olds[i].mask != 0) continue;
    while (j < news.size() && (news[j].partner >= 0 || news[j].mask != 0)) ++j;
    if (j == news.size()) break;
    olds[i].partner = static_cast<int>(j);
    news[j].partner = static_cast<int>(i);
    ++j;
  }
}

Json IdentityJson(const Json& part, const PartIdentity& rule, int by) {
  if (by < 0) return nullptr;
  Json identity = Json::object();
  for (std::string_view caption : rule.keys[static_cast<size_t>(by)])
    identity[std::string(caption)] = *Shown(part, caption);
  return identity;
}

bool Counts(const std::string& caption, const PartIdentity& rule, bool all) {
  if (caption == PositionCaption()) return false;
  if (all) return true;
  for (std::string_view moving : rule.moving) {
    if (caption == moving) return false;
  }
  return true;
}

// The facts of a matched pair that differ: the new part's rows in order, then
// rows only the old part has.
Json ChangedFacts(const Json& before, const Json& after, const PartIdentity& rule, bool all) {
  Json facts = Json::object();
  static const Json kNone;
  // A part's details are facts of the part too, named by their properties.
  static const std::string kDetails = "details";
  if (before.contains(kDetails) || after.contains(kDetails)) {
    const auto inner = [&](const Json& part) {
      const auto it = part.find(kDetails);
      return it != part.end() && it->is_object() ? *it : Json::object();
    };
    Json b = before, a = after;
    b.erase(kDetails);
    a.erase(kDetails);
    const Json detailsBefore = inner(before), detailsAfter = inner(after);
    for (const auto& [name, value] : detailsBefore.items()) b[name] = value;
    for (const auto& [name, value] : detailsAfter.items()) a[name] = value;
    return ChangedFacts(b, a, rule, all);
  }
  for (const auto& [caption, value] : after.items()) {
    if (!Counts(caption, rule, all)) continue;
    const auto old = before.find(caption);
    const Json& was = old == before.end() ? kNone : *old;
    if (was != value) facts[caption] = Json{{"before", was}, {"after", value}};
  }
  for (const auto& [caption, value] : before.items()) {
    if (!Counts(caption, rule, all) || after.contains(caption)) continue;
    facts[caption] = Json{{"before", value}, {"after", nullptr}};
  }
  return facts;
}

// The category's parts in a document; null when it was not read.
const Json* PartsOf(const Json& document, const std::string& category, const char* side) {
  const auto it = document.find(category);
  if (it == document.end() || it->is_null()) return nullptr;
  if (!it->is_array()) throw std::invalid_argument(std::string(side) + ": " + category + " is not a list of parts");
  for (const Json& part : *it) {
    if (!part.is_object())
      throw std::invalid_argument(std::string(side) + ": a part of " + category + " is not an object");
  }
  return &*it;
}

const Json& CategoriesOf(const Json& document, const char* side) {
  if (!document.is_object() || !document.contains("categories") || !document["categories"].is_object()) {
    throw std::invalid_argument(std::string(side) + ": not an inventory (no \"categories\" object)");
  }
  return document["categories"];
}

// Whether the control told of a failure in the category while drawing it: a
// call that failed, or a box it showed (a query or a fact it could not read).
// What it drew then is not the category's whole truth.
bool Troubled(const Json& document, const std::string& category) {
  for (const char* list : {"messages", "errors"}) {
    const auto it = document.find(list);
    if (it == document.end() || !it->is_array()) continue;
    for (const Json& entry : *it) {
      if (entry.is_object() && entry.value("category", "") == category) return true;
    }
  }
  return false;
}

CategoryChanges CompareCategory(const std::string& category, const Json* olds, const Json* news, bool all) {
  CategoryChanges c;
  c.category = category;
  c.failedOld = olds == nullptr;
  c.failedNew = news == nullptr;
  if (!olds || !news) return c;
  const PartIdentity& rule = IdentityOf(category);
  std::vector<Keyed> before = KeysOf(*olds, rule), after = KeysOf(*news, rule);
  Match(before, after, rule.keys.size());
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].partner >= 0) continue;
    const int by = before[i].mask == 0 ? -1 : std::countr_zero(before[i].mask);
    c.removed.push_back({static_cast<int32_t>(i + 1), IdentityJson((*olds)[i], rule, by), (*olds)[i]});
  }
  for (size_t j = 0; j < after.size(); ++j) {
    const Json& part = (*news)[j];
    if (after[j].partner < 0) {
      const int by = after[j].mask == 0 ? -1 : std::countr_zero(after[j].mask);
      c.added.push_back({static_cast<int32_t>(j + 1), IdentityJson(part, rule, by), part});
      continue;
    }
    const size_t i = static_cast<size_t>(after[j].partner);
    Json facts = ChangedFacts((*olds)[i], part, rule, all);
    if (facts.empty()) continue;
    c.changed.push_back({static_cast<int32_t>(i + 1), static_cast<int32_t>(j + 1),
                         IdentityJson(part, rule, after[j].by), std::move(facts)});
  }
  return c;
}

Json PartJson(const Part& p) { return Json{{"index", p.index}, {"identity", p.identity}, {"facts", p.facts}}; }

}  // namespace

bool InventoryChanges::AnyChange() const {
  for (const CategoryChanges& c : categories) {
    if (c.Any()) return true;
  }
  return false;
}

bool InventoryChanges::AnyFailure() const {
  for (const CategoryChanges& c : categories) {
    if (c.failedOld || c.failedNew) return true;
  }
  return false;
}

InventoryChanges CompareInventories(const Json& before, const Json& after, bool all) {
  const Json& olds = CategoriesOf(before, "old");
  const Json& news = CategoriesOf(after, "new");
  InventoryChanges changes;
  for (std::string_view name : kCategoryNames) {
    const std::string category(name);
    const Json* olders = PartsOf(olds, category, "old");
    const Json* newers = PartsOf(news, category, "new");
    changes.categories.push_back(CompareCategory(category, Troubled(before, category) ? nullptr : olders,
                                                 Troubled(after, category) ? nullptr : newers, all));
  }
  return changes;
}

Json ChangesJson(const InventoryChanges& changes) {
  Json out = Json::object();
  for (const CategoryChanges& c : changes.categories) {
    Json failed = Json::array(), removed = Json::array(), added = Json::array(), changed = Json::array();
    if (c.failedOld) failed.push_back("old");
    if (c.failedNew) failed.push_back("new");
    for (const Part& p : c.removed) removed.push_back(PartJson(p));
    for (const Part& p : c.added) added.push_back(PartJson(p));
    for (const ChangedPart& p : c.changed) {
      changed.push_back(Json{
          {"index", {{"before", p.oldIndex}, {"after", p.newIndex}}}, {"identity", p.identity}, {"facts", p.facts}});
    }
    out[c.category] = Json{{"failed", failed}, {"removed", removed}, {"added", added}, {"changed", changed}};
  }
  return out;
}

}  // namespace brv
