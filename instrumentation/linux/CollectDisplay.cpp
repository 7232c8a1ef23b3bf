// The laptop panel, the graphics adapters and external monitors from the DRM
// class (/sys/class/drm: cards "card0", connectors "card0-eDP-1").
#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_set>

#include "instrumentation/decoders/Edid.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"

namespace brv::live {
namespace {

struct Connector {
  std::string name;  // "card0-HDMI-A-1"
  std::string type;  // "HDMI-A"
  std::string dir;
};

bool IsInternal(const std::string& type) { return type == "eDP" || type == "LVDS" || type == "DSI"; }

std::vector<Connector> Connectors(const RootFs& fs) {
  std::vector<Connector> out;
  for (const std::string& name : fs.List("/sys/class/drm")) {
    if (!name.starts_with("card")) continue;
    const size_t first = name.find('-'), last = name.rfind('-');
    if (first == std::string::npos || last <= first + 1) continue;
    out.push_back({name, name.substr(first + 1, last - first - 1), "/sys/class/drm/" + name});
  }
  return out;
}

bool Connected(const RootFs& fs, const Connector& c) {
  const auto status = fs.ReadLine(c.dir + "/status");
  return !status || *status == "connected";
}

// "1920x1080" (interlaced modes end in "i").
std::optional<std::pair<int32_t, int32_t>> ParseMode(std::string_view mode) {
  const size_t x = mode.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  int32_t w = 0, h = 0;
  const auto [wEnd, wEc] = std::from_chars(mode.data(), mode.data() + x, w);
  const auto [hEnd, hEc] = std::from_chars(mode.data() + x + 1, mode.data() + mode.size(), h);
  if (wEc != std::errc() || hEc != std::errc() || wEnd != mode.data() + x || w <= 0 || h <= 0) return std::nullopt;
  return std::pair{w, h};
}

}  // namespace

ClassAnswer LcdPanels(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const Connector& c : Connectors(fs)) {
    if (!IsInternal(c.type) || !Connected(fs, c)) continue;
    // The first listed mode is the preferred one; without a mode list, the
    // panel's EDID gives it.
    std::optional<std::pair<int32_t, int32_t>> mode;
    if (const auto first = fs.ReadLine(c.dir + "/modes")) mode = ParseMode(*first);
    if (!mode) {
      if (const auto bytes = fs.Read(c.dir + "/edid", size_t{64} * 1024)) {
        if (const auto edid = DecodeEdid(*bytes); edid && edid->preferredWidth) {
          mode = std::pair{static_cast<int32_t>(*edid->preferredWidth), static_cast<int32_t>(*edid->preferredHeight)};
        }
      }
    }
    Instance instance;
    instance.Set("HorizontalResolution", mode ? Variant(mode->first) : Variant(Null{}));
    instance.Set("VerticalResolution", mode ? Variant(mode->second) : Variant(Null{}));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

namespace {

// The graphics adapters: one per PCI function with a DRM card.
struct Adapter {
  std::string card;    // "card0"
  std::string device;  // its canonical device folder
  IdNames names;
  Variant ram;
};

std::vector<Adapter> Adapters(const Machine& m) {
  const RootFs& fs = m.fs();
  std::vector<Adapter> out;
  std::unordered_set<std::string> seen;  // the PCI functions already shown
  for (const std::string& name : fs.List("/sys/class/drm")) {
    if (!name.starts_with("card") || name.find('-') != std::string::npos) continue;
    const auto device = fs.Resolve("/sys/class/drm/" + name + "/device");
    if (!device) continue;
    std::string pci;
    const IdNames names = m.DeviceNames(*device, &pci);
    if (pci.empty() || !seen.insert(pci).second) continue;
    // Dedicated memory where the driver tells it (amdgpu); shared-memory
    // adapters and drivers without such a file give none.
    Variant ram = Null{};
    if (const auto bytes = fs.ReadInt(*device + "/mem_info_vram_total"); bytes && *bytes > 0) {
      ram = ByteCount(static_cast<uint64_t>(*bytes));
    }
    out.push_back({name, *device, names, std::move(ram)});
  }
  return out;
}

std::optional<std::string> FullName(const IdNames& names) {
  if (names.device && names.vendor) return *names.vendor + " " + *names.device;
  return names.device;
}

}  // namespace

ClassAnswer VideoConfigurations(const Machine& m) {
  ClassAnswer answer;
  for (const Adapter& a : Adapters(m)) {
    Instance instance;
    instance.Set("AdapterChipType", TextOrNull(a.names.device));
    instance.Set("AdapterRAM", a.ram);
    instance.Set("Name", TextOrNull(FullName(a.names)));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

// The adapters with what their driver and displays tell: the driver module's
// version (an in-tree driver's is the kernel's), and the refresh rate of the
// preferred mode of the first display connected to the card.
ClassAnswer VideoControllers(const Machine& m) {
  const RootFs& fs = m.fs();
  const std::vector<Connector> connectors = Connectors(fs);
  ClassAnswer answer;
  for (const Adapter& a : Adapters(m)) {
    std::optional<std::string> version;
    if (const auto driver = fs.Resolve(a.device + "/driver")) {
      version = m.Text("/sys/module/" + std::string(BaseName(*driver)) + "/version");
      if (!version) version = m.Text("/proc/sys/kernel/osrelease");
    }
    std::optional<int32_t> refresh;
    for (const Connector& c : connectors) {
      if (!c.name.starts_with(a.card + "-") || fs.ReadLine(c.dir + "/status") != "connected") continue;
      const auto bytes = fs.Read(c.dir + "/edid", size_t{64} * 1024);
      const auto edid = bytes ? DecodeEdid(*bytes) : std::nullopt;
      if (edid && edid->preferredRefreshHz && *edid->preferredRefreshHz >= 1 && *edid->preferredRefreshHz < 1000) {
        refresh = static_cast<int32_t>(std::lround(*edid->preferredRefreshHz));
        break;
      }
    }
    Instance instance;
    instance.Set("Name", TextOrNull(FullName(a.names)));
    instance.Set("AdapterRAM", a.ram);
    instance.Set("DriverVersion", TextOrNull(version));
    instance.Set("CurrentRefreshRate", refresh ? Variant(*refresh) : Variant(Null{}));
    instance.Set("VideoProcessor", TextOrNull(a.names.device));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer ExternalMonitors(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const Connector& c : Connectors(fs)) {
    if (IsInternal(c.type) || fs.ReadLine(c.dir + "/status") != "connected") continue;
    const auto bytes = fs.Read(c.dir + "/edid", size_t{64} * 1024);
    if (!bytes) continue;
    const std::optional<EdidInfo> edid = DecodeEdid(*bytes);
    if (!edid) continue;
    Instance instance;
    instance.Set("Manufacturer", m.ids().Pnp(edid->manufacturerId).value_or(edid->manufacturerId));
    instance.Set("Model", TextOrNull(edid->name));
    instance.Set("SerialNO", TextOrNull(EdidSerial(*edid)));
    // Details: when it was made, its image size (cm) and preferred mode.
    const auto number = [](auto n) { return n ? Variant(static_cast<int32_t>(*n)) : Variant(Null{}); };
    instance.Set("YearOfManufacture", number(edid->year));
    instance.Set("WeekOfManufacture", number(edid->week));
    instance.Set("MaxHorizontalImageSize", number(edid->widthCm));
    instance.Set("MaxVerticalImageSize", number(edid->heightCm));
    instance.Set("HorizontalActivePixels", number(edid->preferredWidth));
    instance.Set("VerticalActivePixels", number(edid->preferredHeight));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

}  // namespace brv::live
