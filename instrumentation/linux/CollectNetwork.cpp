// Network interfaces and their addresses.
#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <map>
#include <span>
#include <unordered_map>
#include <unordered_set>

#include "common/Text.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/linux/Machine.h"
#include "instrumentation/linux/RouteNetlink.h"

namespace brv::live {
namespace {

// What both classes need of an interface. The link type and the hardware
// address come with the list from the kernel; from files they are read only for
// the adapters class.
struct Interface {
  int32_t index = 0;
  std::string name;
  std::string dir;
  std::optional<int64_t> type;     // the link type (ARPHRD_*)
  std::optional<std::string> mac;  // the adapter's own address (ShownAddress), on a link that is not loopback
};

constexpr int64_t kLoopback = 772;      // ARPHRD_LOOPBACK
constexpr int64_t kInfiniband = 32;     // ARPHRD_INFINIBAND
constexpr size_t kLongestAddress = 32;  // MAX_ADDR_LEN

// The address shown as the adapter's MAC address, in the six-byte notation
// (upper-case hex pairs between colons) whatever its length:
// - six bytes (Ethernet, Wi-Fi and most others): as they are;
// - InfiniBand (20 bytes: flags and queue pair number, then the port's GID,
//   that is the fabric's subnet prefix and the port GUID): the port GUID, the
//   last 8 bytes. It is the number printed on the adapter and used by the
//   fabric's tools; the first 12 bytes change with the queue pair and the subnet.
// - any other length: the whole address.
// Nothing for an empty or all-zero address (the collector leaves such an
// adapter out) or one longer than the kernel makes.
std::optional<std::string> ShownAddress(std::span<const unsigned char> bytes, std::optional<int64_t> type) {
  if (bytes.empty() || bytes.size() > kLongestAddress) return std::nullopt;
  if (type == kInfiniband && bytes.size() == 20) bytes = bytes.subspan(12);
  if (std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0; })) return std::nullopt;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const unsigned char byte : bytes) {
    if (!text.empty()) text += ':';
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

// The bytes of an address file ("aa:bb:...", as many pairs as addr_len says).
std::optional<std::vector<unsigned char>> AddressBytes(std::string_view text, int64_t length) {
  text = TrimText(text);
  if (length <= 0 || length > static_cast<int64_t>(kLongestAddress) ||
      text.size() != static_cast<size_t>(length) * 3 - 1) {
    return std::nullopt;
  }
  std::vector<unsigned char> out;
  for (size_t at = 0; at < text.size(); at += 3) {
    if (at > 0 && text[at - 1] != ':') return std::nullopt;
    const auto value = ParseInteger<unsigned char>(text.substr(at, 2), 16);
    if (!value) return std::nullopt;
    out.push_back(*value);
  }
  return out;
}

void SortByIndex(std::vector<Interface>& list) {
  std::stable_sort(list.begin(), list.end(), [](const Interface& a, const Interface& b) { return a.index < b.index; });
}

std::vector<Interface> InterfacesFromFiles(const RootFs& fs, bool details) {
  std::vector<Interface> out;
  for (const std::string& name : fs.List("/sys/class/net")) {
    const std::string dir = "/sys/class/net/" + name;
    const auto index = fs.ReadInt(dir + "/ifindex");  // also skips bonding_masters and other files
    if (!index || *index <= 0 || *index > INT32_MAX) continue;
    Interface i{static_cast<int32_t>(*index), name, dir, std::nullopt, std::nullopt};
    if (details) {
      i.type = fs.ReadInt(dir + "/type");
      const auto length = fs.ReadInt(dir + "/addr_len");
      if (length && i.type != kLoopback) {
        if (const auto text = fs.ReadLine(dir + "/address")) {
          if (const auto bytes = AddressBytes(*text, *length)) i.mac = ShownAddress(*bytes, i.type);
        }
      }
    }
    out.push_back(std::move(i));
  }
  SortByIndex(out);
  return out;
}

std::vector<Interface> Interfaces(const Machine& m, bool details) {
  const RootFs& fs = m.fs();
  if (!fs.root().empty()) return InterfacesFromFiles(fs, details);
  const auto links = m.Kernel().Links();
  if (!links) return InterfacesFromFiles(fs, details);
  std::vector<Interface> out;
  for (const NetLink& link : *links) {
    Interface i{link.index, link.name, "/sys/class/net/" + link.name, link.type, std::nullopt};
    if (link.type != kLoopback) i.mac = ShownAddress(link.hardware, link.type);
    out.push_back(std::move(i));
  }
  SortByIndex(out);
  return out;
}

std::optional<uint32_t> Hex32(std::string_view s) { return ParseInteger<uint32_t>(s, 16); }

// IPv6 addresses by interface index: /proc/net/if_inet6 lists each address as
// 32 hex digits, the interface index (hex), prefix length, scope, flags, name.
std::map<int32_t, std::vector<std::string>> Ipv6Addresses(const RootFs& fs) {
  std::map<int32_t, std::vector<std::string>> out;
  const auto text = fs.Read("/proc/net/if_inet6");
  if (!text) return out;
  for (const std::string_view line : SplitLines(*text)) {
    const auto f = SplitFields(line);
    if (f.size() < 6 || f[0].size() != 32) continue;
    const auto index = Hex32(f[1]);
    if (!index || *index > INT32_MAX) continue;
    unsigned char bytes[16];
    bool whole = true;
    for (size_t i = 0; i < 16 && whole; ++i) {
      const auto byte = Hex32(f[0].substr(i * 2, 2));
      whole = byte.has_value();
      bytes[i] = static_cast<unsigned char>(byte.value_or(0));
    }
    char buffer[INET6_ADDRSTRLEN] = {};
    if (!whole || !inet_ntop(AF_INET6, bytes, buffer, sizeof buffer)) continue;
    out[static_cast<int32_t>(*index)].emplace_back(buffer);
  }
  return out;
}

// IPv4 addresses by interface name. The kernel lists the machine's own
// addresses as the "/32 host LOCAL" leaves of /proc/net/fib_trie, and each
// interface's connected networks in /proc/net/route; an address belongs to
// the interface whose route covers it most closely (the loopback network to
// "lo"). Both are plain files, so a captured tree answers like the machine.
// Two interfaces on one network cannot be told apart this way: the first
// listed route wins.
std::map<std::string, std::vector<std::string>> Ipv4Addresses(const RootFs& fs) {
  std::map<std::string, std::vector<std::string>> out;
  const auto trie = fs.Read("/proc/net/fib_trie");
  if (!trie) return out;
  std::vector<uint32_t> local;  // as a.b.c.d packed a | b<<8 | c<<16 | d<<24, the route file's order
  std::vector<std::string> texts;
  std::unordered_set<uint32_t> known;
  std::optional<std::pair<uint32_t, std::string>> leaf;
  for (const std::string_view line : SplitLines(*trie)) {
    const auto f = SplitFields(line);
    if (f.size() == 2 && f[0] == "|--") {
      in_addr a{};
      const std::string text(f[1]);
      leaf.reset();
      if (inet_pton(AF_INET, text.c_str(), &a) == 1) {
        const auto* b = reinterpret_cast<const unsigned char*>(&a.s_addr);
        leaf = {static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24)), text};
      }
      continue;
    }
    if (leaf && f.size() >= 3 && f[0] == "/32" && f[1] == "host" && f[2] == "LOCAL") {
      if (known.insert(leaf->first).second) {
        local.push_back(leaf->first);
        texts.push_back(leaf->second);
      }
    }
  }
  // The interface of the first route to each network, by prefix length (the
  // file's masks, in the same packing, are 1 to 32 low bits).
  std::vector<std::unordered_map<uint32_t, std::string>> routes(33);
  if (const auto table = fs.Read("/proc/net/route")) {
    for (const std::string_view line : SplitLines(*table)) {
      const auto f = SplitFields(line);
      if (f.size() < 8 || f[0] == "Iface") continue;
      const auto destination = Hex32(f[1]), mask = Hex32(f[7]);
      if (!destination || !mask || *mask == 0) continue;  // the default route covers everything
      const int bits = std::popcount(*mask);
      if (*mask != (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1)) continue;  // no network's mask
      routes[static_cast<size_t>(bits)].emplace(*destination, std::string(f[0]));
    }
  }
  for (size_t i = 0; i < local.size(); ++i) {
    const std::string* best = nullptr;
    for (int bits = 32; bits > 0 && !best; --bits) {
      const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
      const auto& networks = routes[static_cast<size_t>(bits)];
      if (const auto it = networks.find(local[i] & mask); it != networks.end()) best = &it->second;
    }
    if (best) {
      out[*best].push_back(texts[i]);
    } else if ((local[i] & 0xFF) == 127) {
      out["lo"].push_back(texts[i]);
    }
  }
  return out;
}

Variant AdapterType(const RootFs& fs, const Interface& i) {
  if (fs.Exists(i.dir + "/wireless") || fs.Exists(i.dir + "/phy80211")) return "Wireless";
  const auto& type = i.type;
  if (!type) return Null{};
  switch (*type) {  // ARPHRD_* link types
    case 1: return "Ethernet 802.3";
    case 7: return "ARCNET";
    case 19: return "ATM";
    case 24: return "1394";
    case 512: return "Wide Area Network (WAN)";  // PPP
    case 774: return "Fiber Distributed Data Interface (FDDI)";
    case 800: return "Token Ring 802.5";
    default: return Null{};
  }
}

// The default gateways by interface name, IPv4 before IPv6, from the kernel's
// main routing tables (/proc/net/route: destination and mask 0 with the
// gateway flag; /proc/net/ipv6_route: ::/0 with a next hop).
std::map<std::string, std::vector<std::string>> Gateways(const RootFs& fs) {
  std::map<std::string, std::vector<std::string>> out;
  if (const auto table = fs.Read("/proc/net/route")) {
    for (const std::string_view line : SplitLines(*table)) {
      const auto f = SplitFields(line);
      if (f.size() < 8 || f[0] == "Iface") continue;
      const auto destination = Hex32(f[1]), gateway = Hex32(f[2]), flags = Hex32(f[3]), mask = Hex32(f[7]);
      if (destination != 0u || mask != 0u || !flags || !(*flags & 0x2) || !gateway || *gateway == 0) continue;
      in_addr a{};
      a.s_addr = *gateway;  // the file writes the address as it lies in memory
      char text[INET_ADDRSTRLEN] = {};
      if (inet_ntop(AF_INET, &a, text, sizeof text)) out[std::string(f[0])].emplace_back(text);
    }
  }
  if (const auto table = fs.Read("/proc/net/ipv6_route")) {
    for (const std::string_view line : SplitLines(*table)) {
      const auto f = SplitFields(line);
      if (f.size() < 10 || f[0] != std::string(32, '0') || f[1] != "00" || f[4].size() != 32) continue;
      unsigned char bytes[16];
      bool whole = true, zero = true;
      for (size_t i = 0; i < 16 && whole; ++i) {
        const auto byte = Hex32(f[4].substr(i * 2, 2));
        whole = byte.has_value();
        bytes[i] = static_cast<unsigned char>(byte.value_or(0));
        zero = zero && bytes[i] == 0;
      }
      char text[INET6_ADDRSTRLEN] = {};
      if (whole && !zero && inet_ntop(AF_INET6, bytes, text, sizeof text)) out[std::string(f[9])].emplace_back(text);
    }
  }
  return out;
}

// Whether the interface's address was leased by DHCP, where the machine's
// network manager tells it (systemd-networkd's lease, NetworkManager's
// device state); nothing where it does not.
std::optional<bool> DhcpEnabled(const RootFs& fs, int32_t index) {
  if (fs.Exists("/run/systemd/netif/leases/" + std::to_string(index))) return true;
  if (const auto state = fs.Read("/run/NetworkManager/devices/" + std::to_string(index), 64u << 10)) {
    if (state->find("[dhcp4]") != std::string::npos || state->find("[dhcp6]") != std::string::npos) return true;
  }
  return std::nullopt;
}

Variant TextList(std::vector<std::string> texts) {
  Variant::Array list;
  for (std::string& a : texts) list.emplace_back(std::move(a));
  return list.empty() ? Variant(Null{}) : Variant(std::move(list));
}

// A configuration instance: the adapter's index, its addresses and default
// gateways (null when none), and whether DHCP gave its address.
Instance Configuration(const RootFs& fs, int32_t index, std::vector<std::string> addresses,
                       std::vector<std::string> gateways) {
  Instance instance;
  instance.Set("Index", index);
  instance.Set("IPAddress", TextList(std::move(addresses)));
  instance.Set("DefaultIPGateway", TextList(std::move(gateways)));
  const std::optional<bool> dhcp = DhcpEnabled(fs, index);
  instance.Set("DHCPEnabled", dhcp ? Variant(*dhcp) : Variant(Null{}));
  return instance;
}

// The link's state as the Windows instrumentation codes it: 2 connected,
// 7 media disconnected (no carrier), 0 disconnected (turned off), 1
// connecting (dormant: waiting for authentication).
Variant ConnectionStatus(const RootFs& fs, const Interface& i) {
  const auto flags = fs.ReadInt(i.dir + "/flags");
  if (flags && !(*flags & 1)) return int32_t{0};  // IFF_UP cleared
  const auto state = fs.ReadLine(i.dir + "/operstate");
  if (state == "up") return int32_t{2};
  if (state == "dormant") return int32_t{1};
  if (state == "down" || state == "lowerlayerdown" || state == "notpresent") return int32_t{7};
  const auto carrier = fs.ReadLine(i.dir + "/carrier");
  if (carrier == "1") return int32_t{2};
  if (carrier == "0") return int32_t{7};
  return Null{};
}

// The addresses of each interface by index, IPv4 before IPv6.
std::map<int32_t, std::vector<std::string>> Addresses(const Machine& m, const std::vector<Interface>& interfaces) {
  const RootFs& fs = m.fs();
  std::map<int32_t, std::vector<std::string>> out;
  if (fs.root().empty()) {
    if (auto addresses = m.Kernel().Addresses()) {
      for (NetAddress& a : *addresses) out[a.index].push_back(std::move(a.text));
      return out;
    }
  }
  auto v4 = Ipv4Addresses(fs);
  auto v6 = Ipv6Addresses(fs);
  for (const Interface& i : interfaces) {
    std::vector<std::string>& list = out[i.index];
    if (auto it = v4.find(i.name); it != v4.end()) list = std::move(it->second);
    if (auto it = v6.find(i.index); it != v6.end()) {
      for (std::string& a : it->second) list.push_back(std::move(a));
    }
  }
  return out;
}

}  // namespace

// The machine's adapters: the interfaces the kernel made for a device (a PCI,
// USB, SDIO, platform, virtio or other bus device behind the interface's
// "device" link), in the order of their index. The kernel's own interfaces,
// which have no device behind them, are left out: loopback, bridges, VLANs,
// bonds and teams, veth pairs, tun/tap, ifb, dummy, macvlan, WireGuard and other
// tunnels. Both ways of listing interfaces (the kernel's list for this machine,
// the files of a captured tree) find that link in sysfs, so both apply the same
// rule. The configuration class keeps every interface, so that an address held
// by a bridge is still found by its index.
ClassAnswer NetworkAdapters(const Machine& m) {
  const RootFs& fs = m.fs();
  ClassAnswer answer;
  for (const Interface& i : Interfaces(m, true)) {
    const auto device = fs.Resolve(i.dir + "/device");
    if (!device) continue;
    const IdNames names = m.DeviceNames(*device);
    Instance instance;
    instance.Set("AdapterType", AdapterType(fs, i));
    instance.Set("Description", TextOrNull(names.device));
    instance.Set("DeviceID", std::to_string(i.index));
    instance.Set("Index", i.index);
    instance.Set("MACAddress", TextOrNull(i.mac));
    instance.Set("Manufacturer", TextOrNull(names.vendor));
    instance.Set("Name", i.name);
    // Details: the link's speed (the file's Mb/s; none while it is down) and state.
    const auto mbps = fs.ReadInt(i.dir + "/speed");
    instance.Set("Speed", mbps && *mbps > 0 && *mbps < (int64_t{1} << 32)
                              ? ByteCount(static_cast<uint64_t>(*mbps) * 1000000)
                              : Variant(Null{}));
    instance.Set("NetConnectionStatus", ConnectionStatus(fs, i));
    answer.instances.push_back(std::move(instance));
  }
  return answer;
}

ClassAnswer NetworkConfigurations(const Machine& m) {
  const std::vector<Interface> interfaces = Interfaces(m, false);
  auto addresses = Addresses(m, interfaces);
  auto gateways = Gateways(m.fs());
  ClassAnswer answer;
  for (const Interface& i : interfaces) {
    const auto it = addresses.find(i.index);
    const auto gw = gateways.find(i.name);
    answer.instances.push_back(
        Configuration(m.fs(), i.index, it == addresses.end() ? std::vector<std::string>{} : std::move(it->second),
                      gw == gateways.end() ? std::vector<std::string>{} : std::move(gw->second)));
  }
  return answer;
}

ClassAnswer NetworkConfiguration(const Machine& m, int32_t index) {
  if (!m.fs().root().empty()) return NetworkConfigurations(m);
  RouteNetlink& kernel = m.Kernel();
  auto addresses = kernel.Addresses(index);
  if (!addresses) return NetworkConfigurations(m);
  ClassAnswer answer;
  // The interface's name finds its gateways; an interface without an address
  // may still exist.
  const auto link = kernel.Links(index);
  if (!link) return NetworkConfigurations(m);
  if (link->empty()) return answer;
  std::vector<std::string> texts;
  for (NetAddress& a : *addresses) texts.push_back(std::move(a.text));
  auto gateways = Gateways(m.fs());
  const auto gw = gateways.find(link->front().name);
  answer.instances.push_back(Configuration(m.fs(), index, std::move(texts),
                                           gw == gateways.end() ? std::vector<std::string>{} : std::move(gw->second)));
  return answer;
}

}  // namespace brv::live
