#include "containers/common/Session.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Excerpt.h"
#include "instrumentation/ClassSource.h"
#include "platform/InstrumentationClasses.h"

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
      boxScope_([this](const std::string& prompt, const std::string& title, int32_t) {
        boxes_.push_back({current_, title, prompt});
      }),
      current_("start-up") {
  control_.emplace();
  Report(0);
  FlushRepeated();
}

Session::~Session() { FlushRepeated(); }

void Session::Tell(std::string line) {
  if (line == told_) {
    ++repeats_;
    return;
  }
  FlushRepeated();
  told_ = std::move(line);
}

void Session::FlushRepeated() {
  if (!report_ || told_.empty()) return;
  *report_ << told_;
  if (repeats_ > 0) *report_ << " (and " << Thousands(repeats_) << " more like it)";
  *report_ << "\n" << std::flush;
  told_.clear();
  repeats_ = 0;
}

std::optional<int16_t> Session::Select(const std::string& category, int32_t index) {
  // A run of one line is told when its category's instances are done.
  if (!category.empty() && category != current_) FlushRepeated();
  if (!category.empty()) current_ = category;
  const size_t firstBox = boxes_.size();
  std::optional<int16_t> count;
  try {
    std::string name = category;
    Variant instance = index;
    count = control_->SetSelectItem(name, instance);
  } catch (const Error& e) {
    errors_.push_back({current_, e.number(), e.description()});
    if (report_) {
      Tell("brvparts: " + Excerpt(current_, 64) + ": " + Excerpt(e.description(), 200) + " (error " +
           std::to_string(e.number()) + ")");
    }
  }
  Report(firstBox);
  return count;
}

void Session::Report(size_t firstBox) {
  if (!report_) return;
  for (size_t i = firstBox; i < boxes_.size(); ++i) {
    const Box& b = boxes_[i];
    Tell("brvparts: " + Excerpt(b.category, 64) + ": " + Excerpt(b.title, 200) + ": " + Excerpt(b.prompt, 200));
  }
}

std::optional<size_t> InstancesPastTheCount(const std::string& category, int32_t counted) {
  constexpr int32_t kMost = 32767;
  if (counted < kMost) return std::nullopt;
  // The class each counted category lists one instance per part of.
  using C = InstrumentationClass;
  static const std::pair<const char*, C> kClasses[] = {{"CPU", C::Processor},
                                                       {"Memory", C::MemoryDevice},
                                                       {"HDD", C::DiskDrive},
                                                       {"CD,DVD", C::CdromDrive},
                                                       {"Modem", C::Modem},
                                                       {"Bluetooth", C::Bluetooth},
                                                       {"Battery Pack", C::PortableBattery},
                                                       {"Docking Station", C::DockingStation},
                                                       {"Network Adapter", C::NetworkAdapter},
                                                       {"External Monitor", C::ExternalMonitor}};
  const auto found = std::find_if(std::begin(kClasses), std::end(kClasses),
                                  [&](const auto& entry) { return category == entry.first; });
  const auto source = CurrentClassSource();
  if (found == std::end(kClasses) || !source) return std::nullopt;
  const auto answer = source->Query(ClassName(found->second));
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
                    const std::function<void(int32_t index, int16_t count)>& each) {
  const std::optional<int16_t> count = session.Select(category, 1);
  if (!count) return Walked::Failed;
  shown = category == "Display" ? 1 : *count;
  if (only && *only > std::max(shown, 1)) return Walked::PastTheCount;
  Walked result = Walked::Shown;
  for (int32_t i = only.value_or(1); i <= (only ? std::min(*only, shown) : shown); ++i) {
    // The other instances come from the same answer: a name the control does not
    // know redraws its current table for another instance without querying again.
    if (i > 1 && !session.Select("", i)) {
      result = Walked::Failed;
      continue;
    }
    each(i, *count);
  }
  return result;
}

}  // namespace brv
