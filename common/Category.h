#pragma once
// The eleven hardware categories, in the order the control keeps them.
#include <array>
#include <optional>
#include <string_view>

namespace brv {

enum class Category {
  CPU,
  Memory,
  Display,
  HDD,
  CDDVD,
  Modem,
  Bluetooth,
  BatteryPack,
  DockingStation,
  NetworkAdapter,
  ExternalMonitor,
};

inline constexpr size_t kCategoryCount = 11;

inline constexpr std::array<Category, kCategoryCount> kAllCategories = {Category::CPU,
                                                                        Category::Memory,
                                                                        Category::Display,
                                                                        Category::HDD,
                                                                        Category::CDDVD,
                                                                        Category::Modem,
                                                                        Category::Bluetooth,
                                                                        Category::BatteryPack,
                                                                        Category::DockingStation,
                                                                        Category::NetworkAdapter,
                                                                        Category::ExternalMonitor};

// The exact, case-sensitive name a container passes for each category.
inline constexpr std::array<std::string_view, kCategoryCount> kCategoryNames = {"CPU",
                                                                                "Memory",
                                                                                "Display",
                                                                                "HDD",
                                                                                "CD,DVD",
                                                                                "Modem",
                                                                                "Bluetooth",
                                                                                "Battery Pack",
                                                                                "Docking Station",
                                                                                "Network Adapter",
                                                                                "External Monitor"};

constexpr size_t IndexOf(Category c) { return static_cast<size_t>(c); }
constexpr std::string_view NameOf(Category c) { return kCategoryNames[IndexOf(c)]; }

// The category with exactly this name, if any.
constexpr std::optional<Category> CategoryNamed(std::string_view name) {
  for (Category c : kAllCategories) {
    if (NameOf(c) == name) return c;
  }
  return std::nullopt;
}

}  // namespace brv
