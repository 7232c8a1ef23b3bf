#pragma once
// The instrumentation classes answered from the running Linux machine: procfs,
// sysfs, the firmware's SMBIOS table, EDIDs, the udev database and hwdata's id
// lists, all read through one root directory ("/" for this machine, a captured
// tree in the tests). Works for an unprivileged user; the SMBIOS table, readable
// by root only, adds socket names, memory devices and a battery the kernel does
// not report. Where the kernel knows a fact it wins over the table, so what it
// knows reads the same with and without root.
//
// What the classes hold, so that they show what a person who knows the machine
// expects:
// - Win32_NetworkAdapter: the interfaces backed by a device (a "device" link
//   under /sys/class/net/IF), in the order of their index; the kernel's virtual
//   interfaces (loopback, bridges, VLANs, bonds, veth, tun/tap, ifb, dummy,
//   macvlan, WireGuard, ...) are none. MACAddress is the adapter's hardware
//   address in upper-case hex pairs between colons; for InfiniBand, whose
//   20-byte link address holds a queue pair number and the fabric's subnet
//   prefix before the port GUID, it is the port GUID (8 pairs), the number
//   the adapter is known by; other lengths show whole. An adapter without an
//   address has none and is left out by the collector.
// - Win32_NetworkAdapterConfiguration: every interface, virtual ones included,
//   so that an address held by a bridge or a VLAN is still found by index.
// - Brovik_DockingStation: an ACPI dock connector only while docked (without a
//   reference number: the connector's uid is not the dock's), and a
//   Thunderbolt/USB4 device only when it is a dock: its name says "Dock" or
//   "Hub", or it has ports for further devices (a router chained below it, or
//   a second USB4 port). Its reference number is its unique_id. Without a
//   Thunderbolt dock, a dock on USB alone: the outermost USB device whose
//   product name says "Dock", once, with its USB serial number.
// - CIM_Processor (details beside the collector, CollectSystem.cpp): one per
//   package of the kernel's, else per populated socket the firmware has not
//   disabled. Manufacturer: cpuinfo's vendor, an ARM implementer's maker, IBM
//   for POWER. Name: cpuinfo's model name; ARM cores by implementer and part.
//   Version: the revision within the model ("Family 6, Model 142, Stepping 10"
//   on x86 from cpuinfo or the firmware's processor id alike, "r1p0" on ARM).
//   MaxClockSpeed: cpufreq's maximum, else the speed the name states, else the
//   kernel's clock, else the firmware's current speed; never the firmware's
//   "Max Speed" (often the socket's rating). SocketDesignation: the firmware's.
// - DMTF_MemoryDevice: the firmware's installed memory devices (the table, else
//   udev's copy); where the firmware lists none (a virtual machine without
//   SMBIOS), one device of the memory the kernel manages (its online memory
//   blocks), with no Index: the machine plainly has memory.
// - DMTF_PortableBattery: the kernel's present system batteries (not a
//   peripheral's); the firmware's only when the kernel has none, never its
//   placeholders ("Fake", "-Virtual Battery 0-").
// - Brovik_ExternalMonitor: SerialNO is the EDID's serial-number text, else its
//   32-bit serial unless that is a placeholder (0, 1, 0x01010101, 0xFFFFFFFF).
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrumentation/ClassSource.h"

namespace brv {

class LiveSource : public ClassSource {
 public:
  explicit LiveSource(std::string root = "/");
  ~LiveSource() override;

  // Every answer is read afresh: a disk, monitor or dock plugged in since the
  // last query shows up in the next one. Only a disk's serial number is kept,
  // for as long as the kernel counts that disk as the same instance.
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override;
  // A network adapter's configuration is found by its index alone.
  std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view key,
                                                std::string_view value) const override;
  std::optional<std::string> KeyProperty(std::string_view className) const override;
  // The host name the root's kernel (else its /etc/hostname) gives, and now.
  Provenance Origin() const override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brv
