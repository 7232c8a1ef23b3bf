// Trees made to hang, starve or mislead the live source: size, depth and link
// bombs, folders of more names than any machine has, FIFOs and device nodes
// where files should be, and a tree changed under the reader to lead it
// outside. Every class answers within a bound, with absence (or the service's
// failure, where a part would pass for the whole), and no FIFO or device in
// the tree is ever opened.
#include <fcntl.h>
#include <stdio.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "common/Error.h"
#include "instrumentation/linux/LiveSource.h"
#include "instrumentation/linux/RootFs.h"
#include "instrumentation/snapshot/Capture.h"
#include "tests/support/Support.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

namespace fs = std::filesystem;
using test::TempTree;
using Clock = std::chrono::steady_clock;

// Per class, generous for the sanitizer build at -O0; the release build
// answers each of these trees in milliseconds. The process's processor time is
// measured, not the wall clock's, so that a busy machine does not fail it.
constexpr long kBoundMs = 5000;

using test::CpuMs;

void Sparse(const TempTree& t, const std::string& path, off_t size) {
  const int fd = ::open(t.Fresh(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  EXPECT_EQ(::ftruncate(fd, size), 0) << path;
  ::close(fd);
}

// `line` over and over, up to `size` bytes.
std::string Repeated(const std::string& line, size_t size) {
  std::string out = line;
  while (out.size() * 2 <= size) out += out;
  while (out.size() + line.size() <= size) out += line;
  return out;
}

// A network interface on a PCI function of its own.
void Adapter(const TempTree& t, int n, uint16_t vendor, uint16_t device) {
  const std::string slot = fmt::format("/sys/devices/pci0000:00/0000:{:02x}:{:02x}.0", n / 32, n % 32);
  const std::string name = fmt::format("eth{}", n);
  t.Write(slot + "/vendor", fmt::format("0x{:04x}\n", vendor));
  t.Write(slot + "/device", fmt::format("0x{:04x}\n", device));
  t.Write(slot + "/net/" + name + "/ifindex", fmt::format("{}\n", n + 1));
  t.Link(slot + "/net/" + name + "/device", "../../../" + slot.substr(slot.rfind('/') + 1));
  t.Link("/sys/class/net/" + name, "../.." + slot.substr(4) + "/net/" + name);
}

// An interface whose device link points at `target`.
void AdapterLinkedTo(const TempTree& t, int n, const std::string& target) {
  t.Write(fmt::format("/sys/class/net/eth{}/ifindex", n), fmt::format("{}\n", n + 1));
  t.Link(fmt::format("/sys/class/net/eth{}/device", n), target);
}

// A monitor on a connector of its own, its EDID naming manufacturer `id`.
void Monitor(const TempTree& t, int n, const std::string& id) {
  std::string edid(128, '\0');
  const unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(header), std::end(header), edid.begin());
  const unsigned code =
      (unsigned(id[0] - 'A' + 1) << 10) | (unsigned(id[1] - 'A' + 1) << 5) | unsigned(id[2] - 'A' + 1);
  edid[8] = static_cast<char>(code >> 8);
  edid[9] = static_cast<char>(code & 0xFF);
  const std::string dir = fmt::format("/sys/class/drm/card0-DP-{}", n);
  t.Write(dir + "/status", "connected\n");
  t.Write(dir + "/edid", edid);
}

// Every regular file of the tree replaced by what `make` leaves at its path.
void ReplaceEveryFile(const TempTree& t, const std::function<void(const std::string&)>& make) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(t.root())) {
    if (e.is_regular_file() && !e.is_symlink()) files.push_back(e.path().string().substr(t.root().size()));
  }
  ASSERT_FALSE(files.empty());
  for (const std::string& f : files) make(f);
}

bool MakeNull(const TempTree& t, const std::string& path) {
  return ::mknod(t.Fresh(path).c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

// What a class must answer on a tree: the service's failure, or this many
// instances with `property` equal to `value` in each.
struct Expect {
  const char* cls;
  std::optional<int32_t> error;
  size_t instances = 0;
  const char* property = nullptr;
  Variant value{};
};

struct HostileCase {
  const char* name;
  std::function<void(const TempTree&)> build;
  std::vector<Expect> expect;  // every other class answers, without failing
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

const std::vector<HostileCase>& Cases() {
  using namespace std::string_literals;
  static const std::vector<HostileCase> kCases = {
      // A quadratic search took two minutes over this one.
      {"CpuinfoOfAQuarterMillionProcessors",
       [](const TempTree& t) {
         std::string text;
         for (int n = 0; n < 253260; ++n) fmt::format_to(std::back_inserter(text), "processor:{}\n\n", n);
         t.Write("/proc/cpuinfo", text);
       },
       {{"CIM_Processor", err::kWbemFailed}}},
      // Was mapped whole and searched: 4 GB resident.
      {"SparseFourGigabytePciIds",
       [](const TempTree& t) {
         Adapter(t, 0, 0x8086, 0x15d7);
         Sparse(t, "/usr/share/hwdata/pci.ids", off_t{4} << 30);
       },
       {{"Win32_NetworkAdapter", std::nullopt, 1, "Manufacturer", Null{}}}},
      // One line as long as a list may be: every probe of the bisection
      // crossed the rest of it, once for each vendor asked.
      {"PciIdsOfOneLongLine",
       [](const TempTree& t) {
         for (int n = 0; n < 400; ++n) Adapter(t, n, static_cast<uint16_t>(0x1000 + n), 1);
         Sparse(t, "/usr/share/hwdata/pci.ids", RootFs::kMapLimit);
       },
       {{"Win32_NetworkAdapter", std::nullopt, 400, "Manufacturer", Null{}}}},
      // One vendor of half a million devices, and devices asked that it does
      // not list: each search crossed the whole block.
      {"PciIdsVendorOfHalfAMillionDevices",
       [](const TempTree& t) {
         for (int n = 0; n < 400; ++n) Adapter(t, n, 0x8086, static_cast<uint16_t>(0x8000 + n));
         t.Write("/usr/share/hwdata/pci.ids", "8086  Intel Corporation\n" + Repeated("\t0000  x\n", 4u << 20));
       },
       {{"Win32_NetworkAdapter", std::nullopt, 400, "Manufacturer", "Intel Corporation"}}},
      // Each monitor's manufacturer was searched for through the whole list.
      {"PnpIdsOfSixteenMegabytes",
       [](const TempTree& t) {
         for (int n = 0; n < 300; ++n) {
           Monitor(t, n, {static_cast<char>('A' + n / 26 % 26), static_cast<char>('A' + n % 26), 'Q'});
         }
         t.Write("/usr/share/hwdata/pnp.ids", Repeated("ZZZ\tz\n", RootFs::kMapLimit - 16));
       },
       {{"Brovik_ExternalMonitor", std::nullopt, 300}}},
      // 300 links into a folder 1,990 levels deep, and 50 through links that
      // double at each level (2^39 components if followed).
      {"DeepFoldersAndLinkBombs",
       [](const TempTree& t) {
         int fd = ::open(t.root().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
         ASSERT_GE(fd, 0);
         for (int depth = 0; depth < 1990; ++depth) {
           ASSERT_EQ(::mkdirat(fd, "a", 0755), 0);
           const int next = ::openat(fd, "a", O_PATH | O_DIRECTORY | O_CLOEXEC);
           ::close(fd);
           ASSERT_GE(fd = next, 0);
         }
         ::close(fd);
         std::string deep;
         for (int depth = 0; depth < 1990; ++depth) deep += "/a";
         t.Link("/bomb/l0", ".");
         for (int i = 1; i < 40; ++i) t.Link(fmt::format("/bomb/l{}", i), fmt::format("l{0}/l{0}", i - 1));
         for (int n = 0; n < 350; ++n) AdapterLinkedTo(t, n, n < 300 ? deep : "/bomb/l39");
       },
       // A device link that leads nowhere is no device: no adapter, but every interface.
       {{"Win32_NetworkAdapter", std::nullopt, 0},
        {"Win32_NetworkAdapterConfiguration", std::nullopt, 350, "IPAddress", Null{}}}},
      // More names than any machine's sysfs folder: a part would pass for the whole.
      {"FolderOfFiveThousandDisks",
       [](const TempTree& t) {
         for (int n = 0; n < 5000; ++n) t.Write(fmt::format("/sys/block/sd{}/size", n), "8\n");
       },
       {{"Win32_DiskDrive", err::kWbemFailed},
        {"Brovik_DiskDrive", err::kWbemFailed},
        {"Brovik_CDROMDrive", err::kWbemFailed}}},
      // Every address sought through every route, and every earlier address.
      {"SixtyThousandAddressesAndTwentyThousandRoutes",
       [](const TempTree& t) {
         AdapterLinkedTo(t, 0, "/nowhere");
         std::string trie, routes = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n";
         for (int n = 0; n < 60000; ++n) {
           trie += fmt::format("  |-- 10.{}.{}.1\n     /32 host LOCAL\n", n / 256, n % 256);
         }
         for (int n = 0; n < 20000; ++n) {
           routes += fmt::format("eth0\t{:08X}\t00000000\t0001\t0\t0\t0\t00FFFFFF\n",
                                 0x0A | (n / 256) << 8 | (n % 256) << 16);
         }
         t.Write("/proc/net/fib_trie", trie);
         t.Write("/proc/net/route", routes);
       },
       {{"Win32_NetworkAdapterConfiguration", std::nullopt, 1}}},
      // Each modem's ports were sought by listing the whole folder again.
      {"AThousandModems",
       [](const TempTree& t) {
         for (int n = 0; n < 1000; ++n) {
           t.Write(fmt::format("/sys/class/wwan/wwan{}/device/x", n), "");
           t.Write(fmt::format("/sys/class/wwan/wwan{}at0/x", n), "");
         }
       },
       {{"Win32_POTSModem", std::nullopt, 1000}}},
      // Every file a FIFO or a character device (the numbers of /dev/null):
      // opening some devices has effects, so none may be opened (the watch
      // below tells). Only root may make device nodes.
      {"EveryFileAFifoOrADevice",
       [](const TempTree& t) {
         fs::copy(test::TestDataPath("sysroot/laptop"), t.root(),
                  fs::copy_options::recursive | fs::copy_options::copy_symlinks);
         const TempTree probe;
         const bool devices = ::geteuid() == 0 && MakeNull(probe, "/null");
         bool fifo = false;
         ReplaceEveryFile(t, [&](const std::string& f) {
           fifo = !fifo || !devices;
           ASSERT_TRUE(fifo ? ::mkfifo(t.Fresh(f).c_str(), 0644) == 0 : MakeNull(t, f)) << f;
         });
       },
       {{"Win32_NetworkAdapter", std::nullopt, 0}, {"CIM_Processor", std::nullopt, 0}}},
  };
  return kCases;
}

// Watches every FIFO and device node of a tree for being opened.
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& root) : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
      const fs::file_status s = it->symlink_status();
      if (s.type() == fs::file_type::fifo || s.type() == fs::file_type::character || s.type() == fs::file_type::block ||
          s.type() == fs::file_type::socket) {
        if (::inotify_add_watch(fd_, it->path().c_str(), IN_OPEN) >= 0) ++watched_;
      }
    }
  }
  ~OpenWatch() { ::close(fd_); }
  size_t watched() const { return watched_; }
  bool Opened() const {
    char events[4096];
    return ::read(fd_, events, sizeof events) > 0;
  }

 private:
  int fd_;
  size_t watched_ = 0;
};

class HostileTree : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileTree, EveryClassAnswersInTimeWithAbsence) {
  const HostileCase& c = GetParam();
  const TempTree t;
  c.build(t);
  if (HasFatalFailure()) return;
  const OpenWatch watch(t.root());
  const LiveSource source(t.root());
  for (const std::string& cls : CollectorClassNames()) {
    const long start = CpuMs();
    const auto answer = source.Query(cls);
    EXPECT_LT(CpuMs() - start, kBoundMs) << cls;
    const auto expect = std::find_if(c.expect.begin(), c.expect.end(), [&](const Expect& e) { return e.cls == cls; });
    if (expect == c.expect.end()) {
      EXPECT_FALSE(answer->error) << cls;
      continue;
    }
    EXPECT_EQ(answer->error, expect->error) << cls;
    if (expect->error) continue;
    EXPECT_EQ(answer->instances.size(), expect->instances) << cls;
    if (!expect->property) continue;
    for (const Instance& instance : answer->instances) {
      const Property* p = instance.Find(expect->property);
      ASSERT_NE(p, nullptr) << cls;
      EXPECT_EQ(p->value, expect->value) << cls << "." << expect->property;
    }
  }
  EXPECT_FALSE(watch.Opened()) << "a FIFO or device node of the tree was opened (" << watch.watched() << " watched)";
}

INSTANTIATE_TEST_SUITE_P(Bombs, HostileTree, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<HostileCase>& param) {
                           return std::string(param.param.name);
                         });

// A folder of the tree swapped, again and again, with a link to a folder
// outside it: the reader checking a path and then opening it would now and
// then read the outside's file or list its names. A fresh reader each time,
// so that nothing it remembers shields it.
TEST(HostileTreeRace, AFolderSwappedForALinkNeverLeadsOutside) {
  const TempTree outside, t;
  outside.Write("/d/secret", "outside");
  outside.Write("/d/only-outside", "");
  t.Write("/d/secret", "inside");
  t.Link("/l", outside.root() + "/d");
  std::atomic<bool> stop = false;
  std::atomic<long> swaps = 0;
  std::thread swapper([&] {
    const std::string d = t.root() + "/d", l = t.root() + "/l";
    while (!stop) {
      if (::renameat2(AT_FDCWD, d.c_str(), AT_FDCWD, l.c_str(), RENAME_EXCHANGE) == 0) ++swaps;
    }
  });
  int inside = 0, leaked = 0;
  const auto until = Clock::now() + std::chrono::seconds(3);
  for (int i = 0; i < 20000 && Clock::now() < until; ++i) {
    const RootFs fs(t.root());
    const auto text = fs.Read("/d/secret");
    if (text == "inside") ++inside;
    if (text == "outside") ++leaked;
    const auto names = fs.List("/d");
    if (std::find(names.begin(), names.end(), "only-outside") != names.end()) ++leaked;
    const auto resolved = fs.Resolve("/d/secret");
    if (resolved && *resolved != "/d/secret") ++leaked;
  }
  stop = true;
  swapper.join();
  EXPECT_EQ(leaked, 0);
  // The race was run: the folder was swapped, and read while in place.
  EXPECT_GT(swaps.load(), 100);
  EXPECT_GT(inside, 0);
}

}  // namespace
}  // namespace brv
