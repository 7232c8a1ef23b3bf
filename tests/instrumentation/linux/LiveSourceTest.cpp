// The root-relative reader, the id-list searches, and the live source on trees
// made for one case each (damaged files, the unprivileged view of a machine).
#include <arpa/inet.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "common/Error.h"
#include "instrumentation/linux/HwIds.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/linux/Machine.h"
#include "instrumentation/linux/RootFs.h"
#include "instrumentation/snapshot/Capture.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Columns.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using test::TempTree;

using test::Columns;
using test::Rows;

TEST(LiveRootFs, LinksStayInsideTheRoot) {
  TempTree t;
  t.Write("/etc/passwd", "inside");
  t.Write("/sys/devices/pci0000:00/0000:00:1f.6/vendor", "0x8086\n");
  t.Link("/sys/class/net/eth0", "../../devices/pci0000:00/0000:00:1f.6/net/eth0");
  t.Link("/sys/devices/pci0000:00/0000:00:1f.6/net/eth0/device", "../../../0000:00:1f.6");
  t.Link("/abs", "/etc/passwd");                     // absolute: taken from the root
  t.Link("/up", "../../../../../../../etc/passwd");  // ".." stops at the root
  t.Link("/loop1", "loop2");
  t.Link("/loop2", "loop1");
  t.Link("/dangling", "/nowhere");
  const RootFs rootFs(t.root());
  struct Case {
    const char* path;
    std::optional<std::string> content;
  } cases[] = {
      {"/abs", "inside"},
      {"/up", "inside"},
      {"/../../etc/passwd", "inside"},
      {"/sys/class/net/eth0/device/vendor", "0x8086\n"},
      // Loops, dangling links, folders (no files) and paths through a file.
      {"/loop1", std::nullopt},
      {"/dangling", std::nullopt},
      {"/sys", std::nullopt},
      {"/missing/file", std::nullopt},
      {"/etc/passwd/x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(rootFs.Read(c.path), c.content) << c.path;
  EXPECT_EQ(rootFs.Resolve("/sys/class/net/eth0/device"), "/sys/devices/pci0000:00/0000:00:1f.6");
  EXPECT_EQ(rootFs.Resolve("/abs"), "/etc/passwd");
}

TEST(LiveRootFs, ReadsListsAndNumbers) {
  TempTree t;
  for (const char* name : {"sdb", "sda", "sdaa", "sdz"}) t.Write(std::string("/block/") + name, "");
  for (const char* name : {"nvme10n1", "nvme2n1", "nvme2n10", "nvme2n2"}) t.Write(std::string("/nvme/") + name, "");
  for (auto [name, content] :
       {std::pair{"dec", "4200000\n"}, {"hex", "0x8086\n"}, {"junk", "12abc\n"}, {"empty", ""}}) {
    t.Write(std::string("/n/") + name, content);
  }
  t.Write("/n/big", std::string(100000, 'x'));
  t.Write("/n/tail", "first\n" + std::string(100000, 'x'));
  ASSERT_EQ(::mkfifo((t.root() + "/n/fifo").c_str(), 0600), 0);
  const RootFs rootFs(t.root());
  EXPECT_EQ(rootFs.List("/block"), (std::vector<std::string>{"sda", "sdb", "sdz", "sdaa"}));
  EXPECT_EQ(rootFs.List("/nvme"), (std::vector<std::string>{"nvme2n1", "nvme2n2", "nvme2n10", "nvme10n1"}));
  EXPECT_TRUE(rootFs.List("/n/dec").empty());
  EXPECT_TRUE(rootFs.List("/none").empty());
  EXPECT_EQ(rootFs.ReadInt("/n/dec"), 4200000);
  EXPECT_EQ(rootFs.ReadInt("/n/hex"), 0x8086);
  EXPECT_EQ(rootFs.ReadInt("/n/junk"), std::nullopt);
  EXPECT_EQ(rootFs.ReadInt("/n/empty"), std::nullopt);
  EXPECT_EQ(rootFs.ReadLine("/n/empty"), "");
  // A file longer than asked is not cut short: a part would pass for the whole.
  EXPECT_FALSE(rootFs.Read("/n/big", 1000).has_value());
  EXPECT_EQ(rootFs.Read("/n/big", 100000)->size(), 100000u);
  EXPECT_FALSE(rootFs.ReadLine("/n/big").has_value());
  EXPECT_EQ(rootFs.ReadLine("/n/tail"), "first");
  EXPECT_EQ(rootFs.Read("/n/fifo"), std::nullopt);  // never waits for a writer
}

TEST(LiveHwIds, SearchesTheListForOneId) {
  const std::string list =
      "# comment\n"
      "0001  First vendor\n"
      "\t0002  Its device\n"
      "\t\t0001 0003  A subsystem\n"
      "# a comment between devices\n"
      "\t0010  Another device\n"
      "8086  Intel Corporation\n"
      "\t0002  Not the first vendor's\n"
      "C 02  Communications\n"
      "\t02  Abstract (modem)\n";
  struct Case {
    uint16_t vendor;
    std::optional<uint16_t> device;
    std::optional<std::string> vendorName, deviceName;
  } cases[] = {
      {0x0001, 0x0002, "First vendor", "Its device"},
      {0x0001, 0x0010, "First vendor", "Another device"},
      {0x0001, 0x0003, "First vendor", std::nullopt},  // a subsystem line is no device
      {0x8086, 0x0002, "Intel Corporation", "Not the first vendor's"},
      {0x8086, 0x0010, "Intel Corporation", std::nullopt},
      {0x8086, std::nullopt, "Intel Corporation", std::nullopt},
      {0x0002, 0x0002, std::nullopt, std::nullopt},
  };
  // The searches, and the index a list gets once searching it has cost too much.
  const IdListIndex index(list);
  for (const Case& c : cases) {
    for (const IdNames& names : {FindIdNames(list, c.vendor, c.device), index.Find(list, c.vendor, c.device)}) {
      EXPECT_EQ(names.vendor, c.vendorName) << c.vendor;
      EXPECT_EQ(names.device, c.deviceName) << c.vendor;
    }
  }
  EXPECT_EQ(FindIdNames("", 1, 2).vendor, std::nullopt);
  EXPECT_EQ(FindIdNames("0001  Cut", 1, 2).vendor, "Cut");
  const std::string pnp = "AAA\tAvolites Ltd\nDEL\tDell Inc.\nDELL\tnot an id\n";
  for (auto [id, name] : {std::pair<const char*, std::optional<std::string>>{"DEL", "Dell Inc."},
                          {"AAA", "Avolites Ltd"},
                          {"XYZ", std::nullopt},
                          {"DE", std::nullopt}}) {
    EXPECT_EQ(FindPnpName(pnp, id), name) << id;
  }
}

// Long lists are bisected: every vendor of a list with blocks of very
// different lengths (and this machine's own pci.ids, when it has one) is found
// at its line, and the ids between them are not; the index finds the same
// vendors and devices.
TEST(LiveHwIds, BisectsLongListsToEveryVendor) {
  std::string synthetic = "# header\n\n";
  for (int v = 0x10; v < 0xfff0; v += 0x17) {
    synthetic += fmt::format("{:04x}  Vendor {}\n", v, v);
    for (int d = 0; d < (v % 7 == 0 ? 400 : v % 3); ++d) synthetic += fmt::format("\t{:04x}  Device {}\n", d, d);
    if (v % 5 == 0) synthetic += "# comment\n\n";
  }
  synthetic += "C 00  Unclassified device\n";
  std::vector<std::string> lists = {synthetic};
  if (std::ifstream real("/usr/share/hwdata/pci.ids"); real) {
    lists.emplace_back(std::istreambuf_iterator<char>(real), std::istreambuf_iterator<char>());
  }
  for (const std::string& list : lists) {
    const IdListIndex index(list);
    std::vector<bool> present(0x10000);
    for (size_t at = 0, eol; at < list.size(); at = eol + 1) {
      eol = std::min(list.find('\n', at), list.size());
      const std::string_view line = std::string_view(list).substr(at, eol - at);
      unsigned id = 0;
      if (line.size() > 6 && line.substr(4, 2) == "  " && line.find_first_not_of("0123456789abcdef") == 4) {
        std::from_chars(line.data(), line.data() + 4, id, 16);
        present[id] = true;
        EXPECT_EQ(FindVendorLine(list, static_cast<uint16_t>(id)), at) << line;
        for (const uint16_t device : {0x0000, 0x018f, 0x1234}) {
          const IdNames searched = NamesAtVendorLine(list, at, device);
          const IdNames indexed = index.Find(list, static_cast<uint16_t>(id), device);
          EXPECT_EQ(indexed.vendor, searched.vendor) << line;
          EXPECT_EQ(indexed.device, searched.device) << line << " " << device;
        }
      }
    }
    for (unsigned id = 0; id < 0x10000; id += 0x101) {
      if (!present[id]) {
        EXPECT_EQ(FindVendorLine(list, static_cast<uint16_t>(id)), std::string_view::npos) << id;
        EXPECT_EQ(index.Find(list, static_cast<uint16_t>(id), std::nullopt).vendor, std::nullopt) << id;
      }
    }
  }
}

// A value of its shape: null, a printable text (a MAC address of six byte
// pairs, an InfiniBand port's eight or a FireWire port's sixteen, never all
// zeros), a number not negative, a flag, or a list of addresses.
bool HasShape(const Property& p) {
  const Variant& v = p.value;
  unsigned char bytes[16];
  if (const auto* text = v.get_if<std::string>()) {
    if (p.name == "MACAddress") {
      return std::regex_match(*text,
                              std::regex("([0-9A-F]{2}:){5}(([0-9A-F]{2}:){2}|([0-9A-F]{2}:){10})?[0-9A-F]{2}")) &&
             text->find_first_not_of("0:") != std::string::npos;
    }
    return !text->empty() &&
           std::none_of(text->begin(), text->end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
  }
  if (const auto* list = v.get_if<Variant::Array>()) {
    return std::all_of(list->begin(), list->end(), [&](const Variant& a) {
      const auto* t = a.get_if<std::string>();
      return t && (inet_pton(AF_INET, t->c_str(), bytes) == 1 || inet_pton(AF_INET6, t->c_str(), bytes) == 1);
    });
  }
  return v.IsNull() || v.kind() == Variant::Kind::Bool || (v.kind() == Variant::Kind::Int32 && v.get<int32_t>() >= 0) ||
         (v.kind() == Variant::Kind::Int64 && v.get<int64_t>() >= 0);
}

// Every class answers the source at `root`, each property once and of its shape.
void ExpectShapes(const std::string& root) {
  const LiveSource source(root);
  for (const std::string& cls : CollectorClassNames()) {
    const auto answer = source.Query(cls);
    EXPECT_FALSE(answer->error) << root << " " << cls;
    for (const Instance& instance : answer->instances) {
      std::set<std::string> seen;
      for (const Property& p : instance.properties) {
        EXPECT_TRUE(seen.insert(p.name).second) << root << " " << cls << " has " << p.name << " twice";
        EXPECT_FALSE(p.error) << root << " " << cls << "." << p.name;
        EXPECT_TRUE(HasShape(p)) << root << " " << cls << "." << p.name << ": " << ::testing::PrintToString(p.value);
      }
    }
  }
}

TEST(LiveSourceClasses, UnknownClassesAndNames) {
  const LiveSource source(test::TestDataPath("sysroot/vm"));
  for (const char* cls : {"Win32_BIOS", "", "CIM_Processor2", "Win32_DiskDrive "}) {
    EXPECT_EQ(source.Query(cls)->error, err::kWbemInvalidClass) << cls;
  }
  // Class names compare without regard to case, as the service compares them.
  EXPECT_EQ(source.Query("CIM_PROCESSOR")->instances.size(), 1u);
  // A root that does not exist is a machine that tells nothing.
  const LiveSource nowhere(test::TestDataPath("sysroot/no-such-machine"));
  for (const std::string& cls : CollectorClassNames()) {
    EXPECT_FALSE(nowhere.Query(cls)->error) << cls;
    EXPECT_TRUE(nowhere.Query(cls)->instances.empty()) << cls;
  }
}

// Trees made for one rule each (tests/data/live/NAME/, the README there tells
// what each shows): every class answers, each value of its shape, as the
// record beside the tree (NAME.json; classes without instances left out).
TEST(LiveSourceClasses, EveryCaseTreeAnswersAsRecorded) {
  size_t trees = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::TestDataPath("live"))) {
    if (!entry.is_directory()) continue;
    ++trees;
    ExpectShapes(entry.path().string());
    Snapshot answers = CaptureSnapshot(LiveSource(entry.path().string()));
    answers.captured = {};
    std::erase_if(answers.classes, [](const auto& c) { return !c.second.error && c.second.instances.empty(); });
    test::ExpectGolden("live/" + entry.path().filename().string() + ".json", WriteSnapshot(answers));
  }
  EXPECT_GE(trees, 40u);
}

// Damaged or hostile files: every class still answers, each value of its shape
// (as on this machine: the captured trees' whole answers are kept beside them),
// with nulls where the file says nothing usable.
TEST(LiveSourceClasses, DamagedFilesGiveNullsNotFailures) {
  const TempTree t(test::TestDataPath("sysroot/laptop"));
  struct Damage {
    std::string path, content;
  } damages[] = {
      {"/proc/cpuinfo", std::string("processor\t: 0\nmodel name\t: \xff\xfe\x01\nphysical id : 99999999999\n")},
      {"/sys/firmware/dmi/tables/DMI", std::string("\x04\xff\x00", 3)},
      {"/sys/class/net/wlp3s0/ifindex", "banana\n"},
      {"/sys/class/net/enp0s31f6/address", "8c:16:45:5a:2b\n"},
      {"/sys/block/nvme0n1/size", "-5\n"},
      {"/sys/devices/pci0000:00/0000:00:1d.0/0000:04:00.0/nvme/nvme0/model", std::string(70000, '\x07')},
      {"/sys/class/drm/card0-eDP-1/modes", "x\n"},
      {"/sys/class/drm/card0-eDP-1/edid", "\x00\xff\xff"},
      {"/sys/class/drm/card0-DP-1/edid", std::string(127, '\0')},
      {"/proc/net/fib_trie", "|-- 999.1.1.1\n/32 host LOCAL\n|--\n/32\n"},
      {"/proc/net/if_inet6", "zz 03 40 00 00 wlp3s0\n0000 03\n"},
      {"/proc/net/route", "Iface\nwlp3s0\tzz\n"},
      {"/run/udev/data/b11:0", "E:ID_SERIAL_SHORT\nE:=\n"},
      {"/usr/share/hwdata/pci.ids", "8086"},
      {"/sys/kernel/debug/bluetooth/hci0/identity", "short\n"},
  };
  for (const Damage& d : damages) t.Write(d.path, d.content);
  ExpectShapes(t.root());
  ExpectShapes("/");
  const LiveSource source(t.root());
  // The wireless interface has no usable index and is left out.
  EXPECT_EQ(Columns(*source.Query("Win32_NetworkAdapter"), {"Name", "MACAddress"}), (Rows{{"enp0s31f6", Null{}}}));
  EXPECT_EQ(Columns(*source.Query("Win32_DiskDrive"), {"Size"}), (Rows{{Null{}}}));
  EXPECT_EQ(Columns(*source.Query("Brovik_LCDPanel"), {"HorizontalResolution"}), (Rows{{Null{}}}));
  // The damaged monitor is left out; the other one remains.
  EXPECT_EQ(source.Query("Brovik_ExternalMonitor")->instances.size(), 1u);
  EXPECT_EQ(Columns(*source.Query("Brovik_Bluetooth"), {"MACAddress"}), (Rows{{Null{}}}));
  EXPECT_EQ(Columns(*source.Query("CIM_Processor"), {"Name"}), (Rows{{"???"}}));
}

// This machine, whatever its hardware, read two ways: "/" asks the kernel
// (netlink, links resolved in one open), "/." walks the same files as a
// captured tree would be walked. Both ways tell the same story: the two
// network classes (and the two disk classes) list the same devices.
TEST(LiveSourceClasses, ThisMachineKernelAnswersMatchItsFiles) {
  const LiveSource kernel("/"), files("/.");
  const RootFs fast("/");
  EXPECT_EQ(fast.Resolve("/no/such/path"), std::nullopt);

  const std::vector adapter = {"AdapterType", "Description", "Index", "MACAddress", "Manufacturer", "Name"};
  const auto adapters = kernel.Query("Win32_NetworkAdapter");
  EXPECT_EQ(Columns(*adapters, adapter), Columns(*files.Query("Win32_NetworkAdapter"), adapter));
  const auto configurations = kernel.Query("Win32_NetworkAdapterConfiguration");
  const auto table = Columns(*configurations, {"Index", "IPAddress"});
  const auto fromFiles = Columns(*files.Query("Win32_NetworkAdapterConfiguration"), {"Index", "IPAddress"});
  ASSERT_EQ(table.size(), fromFiles.size());
  // The files place an IPv4 address by the routes that cover it, which cannot
  // place one without a route or tell two interfaces on one network apart: the
  // kernel must hold every IPv4 address the files place, and the same IPv6 ones.
  auto split = [](const Variant& list, bool v6) {
    std::vector<std::string> out;
    if (const auto* items = list.get_if<Variant::Array>()) {
      for (const Variant& a : *items) {
        if ((TextOf(a).find(':') != std::string::npos) == v6) out.push_back(TextOf(a));
      }
    }
    return out;
  };
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i][0], fromFiles[i][0]);
    EXPECT_EQ(split(table[i][1], true), split(fromFiles[i][1], true)) << TextOf(table[i][0]);
    const auto kernelV4 = split(table[i][1], false);
    for (const std::string& a : split(fromFiles[i][1], false)) {
      EXPECT_NE(std::find(kernelV4.begin(), kernelV4.end(), a), kernelV4.end()) << a;
    }
  }
  // Adapters are the interfaces with a device behind them, whichever way they
  // are listed; the configurations keep every interface.
  Rows withDevice;
  for (const auto& row : table) {
    for (const std::string& name : fast.List("/sys/class/net")) {
      if (fast.ReadInt("/sys/class/net/" + name + "/ifindex") == std::stoll(TextOf(row[0])) &&
          fast.Resolve("/sys/class/net/" + name + "/device")) {
        withDevice.push_back({row[0]});
      }
    }
  }
  EXPECT_EQ(Columns(*adapters, {"Index"}), withDevice);
  // The look-up by index finds the instance the whole class holds.
  for (const auto& row : table) {
    const auto one = kernel.QueryByKey("Win32_NetworkAdapterConfiguration", "Index", TextOf(row[0]));
    EXPECT_EQ(Columns(*one, {"Index", "IPAddress"}), Rows{row});
  }
  EXPECT_TRUE(kernel.QueryByKey("Win32_NetworkAdapterConfiguration", "Index", "2147483647")->instances.empty());
  // A value the index is not spelled as cannot name it; the caller sifts the whole class.
  EXPECT_EQ(kernel.QueryByKey("Win32_NetworkAdapterConfiguration", "Index", "01")->instances.size(), table.size());

  // Disk serials, kept or read afresh, are the files' (DiskSerialsAreKept...).
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Columns(*kernel.Query("Brovik_DiskDrive"), {"SerialNO"}),
              Columns(*files.Query("Brovik_DiskDrive"), {"SerialNO"}))
        << pass;
  }
  EXPECT_EQ(kernel.Query("Win32_DiskDrive")->instances.size(), kernel.Query("Brovik_DiskDrive")->instances.size());
}

// A disk's serial is read once per disk instance (the kernel's diskseq) of the
// machine's own root, and kept; one not found is asked again, and a captured
// tree, or a machine that keeps nothing, is always read.
TEST(LiveSourceClasses, DiskSerialsAreKeptPerDiskInstanceOfTheMachine) {
  const RootFs own("/");
  std::string disk;
  for (const std::string& name : own.List("/sys/block")) {
    if (own.ReadInt("/sys/block/" + name + "/diskseq").value_or(0) > 0) disk = name;
  }
  if (disk.empty()) GTEST_SKIP() << "no disk here tells its diskseq";
  const TempTree t;
  t.Write("/sys/block/" + disk + "/diskseq", "1\n");
  const RootFs tree(t.root());
  const HwIds ids(own);
  const struct {
    const RootFs& fs;
    bool keeps;
    std::optional<std::string> serial;
    int reads;  // of two asks
  } cases[] = {
      {own, true, "S1", 1},
      {own, true, std::nullopt, 2},
      {tree, true, "S1", 2},
      {own, false, "S1", 2},
  };
  for (const auto& c : cases) {
    live::Remembered fresh;
    const live::Machine machine(c.fs, ids, nullptr, c.keeps ? &fresh : nullptr);
    int reads = 0;
    for (int ask = 0; ask < 2; ++ask) {
      EXPECT_EQ(machine.DiskSerial(disk,
                                   [&] {
                                     ++reads;
                                     return c.serial;
                                   }),
                c.serial);
    }
    EXPECT_EQ(reads, c.reads) << c.serial.value_or("none") << " " << &c.fs;
  }
}

// On this machine, the live source opens a disk's serial file (sysfs's
// serial or its VPD page) on the first query only.
TEST(LiveSourceClasses, ThisMachinesDiskSerialsAreOpenedOnce) {
  const RootFs own("/");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  for (const std::string& name : own.List("/sys/block")) {
    if (own.ReadInt("/sys/block/" + name + "/diskseq").value_or(0) <= 0) continue;
    for (const std::string& dir : {"/sys/block/" + name, "/sys/block/" + name + "/device"}) {
      ::inotify_add_watch(watch, dir.c_str(), IN_OPEN);
    }
  }
  const auto serialsOpened = [&] {
    int opened = 0;
    alignas(inotify_event) char events[16384];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
      for (char* at = events; at < events + n;
           at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
        const std::string file =
            reinterpret_cast<inotify_event*>(at)->len ? reinterpret_cast<inotify_event*>(at)->name : "";
        opened += file == "serial" || file == "vpd_pg80";
      }
    }
    return opened;
  };
  const LiveSource kernel("/");
  kernel.Query("Brovik_DiskDrive");
  const int first = serialsOpened();
  kernel.Query("Brovik_DiskDrive");
  const int second = serialsOpened();
  ::close(watch);
  if (first == 0) GTEST_SKIP() << "no disk here with a diskseq keeps its serial in sysfs";
  EXPECT_EQ(second, 0) << first << " opened by the first query";
}

}  // namespace
}  // namespace brv
