#include "table/CategoryLabels.h"

#include <array>

#include "module/Module1.h"
#include "module/ModuleState.h"

namespace brv {
namespace {

constexpr Caption kCpu[] = {{212, "Index"},   {301, "Manufacturer"},    {302, "Name"},
                            {305, "Version"}, {303, "MAX Clock Speed"}, {304, "Socket Designation"}};
constexpr Caption kMemory[] = {{212, "Index"}, {351, "SLOTs"}, {352, "Capacity"}};
constexpr Caption kDisplay[] = {{212, "Index"},
                                {401, "Horizontal Resolution"},
                                {402, "Vertical Resolution"},
                                {403, "Chip Type"},
                                {404, "RAM Size"}};
constexpr Caption kHdd[] = {
    {451, "Index"}, {452, "Model"}, {453, "Size"}, {454, "Serial No"}, {455, "Firmware Revision"}};
constexpr Caption kCdDvd[] = {{212, "Index"}, {501, "Model"}, {502, "Serial No"}, {503, "Firmware Revision"}};
constexpr Caption kModem[] = {{212, "Index"},       {601, "Attached To"}, {602, "Caption"},
                              {604, "Description"}, {605, "Device ID"},   {606, "Device Type"}};
constexpr Caption kBluetooth[] = {
    {212, "Index"}, {651, "Description"}, {652, "MAC Address"}, {653, "Manufacturer"}, {654, "Name"}};
constexpr Caption kBattery[] = {{751, "Index"}, {752, "Serial No"}, {753, "Capacity"}};
constexpr Caption kDocking[] = {{212, "Index"}, {801, "Docking Reference Number"}, {802, "Status"}};
constexpr Caption kNetwork[] = {{212, "Index"},       {851, "Adapter Type"}, {852, "Description"}, {853, "IP Address"},
                                {854, "MAC Address"}, {855, "Manufacturer"}, {856, "Name"}};
constexpr Caption kMonitor[] = {{212, "Index"}, {1001, "Manufacturer"}, {1002, "Model"}, {1003, "Serial No"}};

constexpr std::array<std::span<const Caption>, kCategoryCount> kTables = {
    kCpu, kMemory, kDisplay, kHdd, kCdDvd, kModem, kBluetooth, kBattery, kDocking, kNetwork, kMonitor};

}  // namespace

std::span<const Caption> CaptionsOf(Category category) { return kTables[IndexOf(category)]; }

void BuildCategoryLabels() {
  ModuleState& m = Module();
  if (CreateResourceProvider()) {
    for (Category c : kAllCategories) {
      const auto captions = CaptionsOf(c);
      auto& list = m.CategoryLabels[IndexOf(c)];
      list = CaptionList(captions.size());
      for (size_t k = 0; k < captions.size(); ++k) {
        int32_t number = captions[k].number;
        (*list)[k] = GetLocalMessage(number);
      }
    }
  } else {
    for (Category c : kAllCategories) {
      CaptionList list;
      for (const Caption& caption : CaptionsOf(c)) list.emplace_back(caption.english);
      m.CategoryLabels[IndexOf(c)] = std::move(list);
    }
  }
}

}  // namespace brv
