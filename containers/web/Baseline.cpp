#include "containers/web/Baseline.h"

#include <filesystem>
#include <stdexcept>

#include "containers/common/InventoryJson.h"
#include "containers/common/PartDiff.h"
#include "containers/common/Session.h"
#include "containers/web/ContainerThread.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace brv::web {
namespace {

using Json = nlohmann::ordered_json;

Json Text(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }

Json SideJson(const Provenance& origin, const Json& document) {
  return Json{{"host", Text(origin.host)},
              {"time", Text(origin.time)},
              {"messages", document.value("messages", Json::array())},
              {"errors", document.value("errors", Json::array())}};
}

// The inventory as a control on this thread draws it from this thread's source.
Json Draw() {
  Session session;
  return *InventoryDocument(session);
}

}  // namespace

Json BaselineAnswer(const std::string& name, const Provenance& then, const Json& baseline, const Provenance& now,
                    const Json& current) {
  const InventoryChanges changes = CompareInventories(baseline, current, false);
  Json marks = Json::object();
  for (const CategoryChanges& c : changes.categories) {
    Json marked = Json::object();
    for (const Part& p : c.added) marked[std::to_string(p.index)] = {{"state", "added"}};
    const Json& parts = current["categories"][c.category];
    for (const ChangedPart& p : c.changed) {
      // The rows in the grid's order: the part's captions, as drawn.
      Json rows = Json::array();
      const Json& part = parts[static_cast<size_t>(p.newIndex - 1)];
      int row = 1;
      for (const auto& [caption, value] : part.items()) {
        if (p.facts.contains(caption)) rows.push_back(row);
        ++row;
      }
      marked[std::to_string(p.newIndex)] = {{"state", "changed"}, {"rows", rows}};
    }
    marks[c.category] = std::move(marked);
  }
  Json side = {{"source", name}};
  side.update(SideJson(then, baseline));
  return Json{
      {"baseline", side}, {"now", SideJson(now, current)}, {"categories", ChangesJson(changes)}, {"marks", marks}};
}

Baseline::Baseline(const std::string& file)
    : name_(std::filesystem::path(file).filename().string()), source_(SnapshotSource::FromFile(file)) {
  thread_ = std::thread([this] { Run(); });
}

Baseline::~Baseline() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void Baseline::Compare(std::function<void(const Json&, const std::string&)> reply) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) throw std::runtime_error("the baseline is closing");
    waiting_.push_back(std::move(reply));
  }
  wake_.notify_all();
}

void Baseline::Run() {
  Json baseline;
  Provenance then;
  std::string failure;
  try {
    const ThreadClassSource scope(source_);
    baseline = Draw();
    then = source_->Origin();
  } catch (const std::exception& e) {
    failure = std::string("the baseline could not be drawn: ") + e.what();
  }
  for (;;) {
    std::vector<std::function<void(const Json&, const std::string&)>> replies;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      replies.swap(waiting_);
    }
    Json answer;
    if (!failure.empty()) {
      answer = {{"failed", failure}};
    } else {
      try {
        const Json current = Draw();
        const std::shared_ptr<const ClassSource> source = CurrentClassSource();
        answer = BaselineAnswer(name_, then, baseline, source ? source->Origin() : Provenance{}, current);
      } catch (const std::exception& e) {
        answer = {{"failed", std::string("the comparison failed: ") + e.what()}};
      }
    }
    // Written out once: a burst of requests for a large inventory shares the text.
    const std::string text = DumpJson(answer);
    for (auto& reply : replies) reply(answer, text);
  }
}

}  // namespace brv::web
