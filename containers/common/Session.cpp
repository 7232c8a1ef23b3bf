#include "containers/common/Session.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Excerpt.h"
#include "instrumentation/ClassSource.h"
#include "inventory/Catalogue.h"

namespace brv {
namespace {

std::string Thousands(size_t n) {
  std::string count = std::to_string(n);
  for (size_t at = count.size(); at > 3; at -= 3) count.insert(at - 3, ",");
  return count;
}

}  // namespace

Session::Session(std::ostream* report)
    : report_(report),
      told_(report),
      boxScope_([this](const std::string& prompt, const std::string& title, int32_t) {
        boxes_.push_back({current_, title, prompt});
      }),
      current_("start-up") {
  control_.emplace();
  Report(0);
  told_.Flush();
}

Session::~Session() = default;

void RepeatedLines::Tell(std::string line) {
  if (line == held_) {
    ++repeats_;
    return;
  }
  Flush();
  held_ = std::move(line);
}

void RepeatedLines::Flush() {
  if (!out_ || held_.empty()) return;
  *out_ << held_;
  if (repeats_ > 0) *out_ << " (and " << Thousands(repeats_) << " more like it)";
  *out_ << "\n" << std::flush;
  held_.clear();
  repeats_ = 0;
}

bool Session::Run(const std::function<void()>& call) {
  const size_t firstBox = boxes_.size();
  bool done = false;
  try {
    call();
    done = true;
  } catch (const Error& e) {
    errors_.push_back({current_, e.number(), e.description()});
    if (report_) {
      told_.Tell("brvparts: " + Excerpt(current_, 64) + ": " + Excerpt(e.description(), 200) + " (error " +
                 std::to_string(e.number()) + ")");
    }
  }
  Report(firstBox);
  return done;
}

std::optional<int16_t> Session::Select(const std::string& category, int32_t index) {
  // A run of one line is told when its category's instances are done.
  if (!category.empty() && category != current_) told_.Flush();
  if (!category.empty()) current_ = category;
  std::optional<int16_t> count;
  Run([&] {
    std::string name = category;
    Variant instance = index;
    count = control_->SetSelectItem(name, instance);
  });
  return count;
}

bool Session::Draw(int32_t index) {
  return Run([&] { control_->ShowInstance(index); });
}

void Session::Report(size_t firstBox) {
  if (!report_) return;
  for (size_t i = firstBox; i < boxes_.size(); ++i) {
    const Box& b = boxes_[i];
    told_.Tell("brvparts: " + Excerpt(b.category, 64) + ": " + Excerpt(b.title, 200) + ": " + Excerpt(b.prompt, 200));
  }
}

std::optional<size_t> InstancesPastTheCount(const std::string& category, int32_t counted) {
  constexpr int32_t kMost = 32767;
  if (counted < kMost) return std::nullopt;
  // The class a counted category lists one instance per part of.
  const std::optional<Category> named = CategoryNamed(category);
  const auto source = CurrentClassSource();
  if (!named || !CatalogueOf(*named).keepsCount || !source) return std::nullopt;
  const auto answer = source->Query(CatalogueOf(*named).className());
  if (!answer || answer->error || answer->instances.size() <= static_cast<size_t>(kMost)) {
    return std::nullopt;
  }
  return answer->instances.size();
}

std::string PastTheCountText(const std::string& category, size_t instances) {
  return Excerpt(category, 64) + " has " + Thousands(instances) +
         " instances, more than the 32,767 the control numbers";
}

Walked WalkCategory(Session& session, const std::string& category, std::optional<int32_t> only, int32_t& shown,
                    const std::function<void(int32_t index, std::optional<int32_t> count)>& each) {
  const std::optional<int16_t> selected = session.Select(category, 1);
  if (!selected) return Walked::Failed;
  const std::optional<Category> named = CategoryNamed(category);
  shown = named ? session.control().Instances(*named) : 0;
  const std::optional<int32_t> count =
      named && CatalogueOf(*named).keepsCount ? std::optional<int32_t>(*selected) : std::nullopt;
  if (only && *only > std::max(shown, 1)) return Walked::PastTheCount;
  Walked result = Walked::Shown;
  for (int32_t i = only.value_or(1); i <= (only ? std::min(*only, shown) : shown); ++i) {
    // The other instances come from the same answer.
    if (i > 1 && !session.Draw(i)) {
      result = Walked::Failed;
      continue;
    }
    each(i, count);
  }
  return result;
}

}  // namespace brv
