// Monikers read the same on every system: the security settings, the machine,
// the namespace with either separator, and the object path; and what is refused.
#include <gtest/gtest.h>

#include "instrumentation/Moniker.h"
#include "tests/support/Support.h"

namespace brv::wmi {
namespace {

TEST(Moniker, ReadsEachPart) {
  const struct {
    std::string text;
    Moniker parts;  // security, machine, namespace, path
  } cases[] = {
      {"winmgmts://./root/cimv2", {"", ".", "root/cimv2", ""}},
      {"WinMgmts://./ROOT/CIMV2", {"", ".", "ROOT/CIMV2", ""}},
      {"winmgmts:{impersonationLevel=impersonate}!//./root/cimv2",
       {"impersonationLevel=impersonate", ".", "root/cimv2", ""}},
      {"winmgmts:{impersonationLevel=impersonate,(Debug)}//server/root/cimv2",
       {"impersonationLevel=impersonate,(Debug)", "server", "root/cimv2", ""}},
      {"winmgmts:{}!//./root/cimv2", {"", ".", "root/cimv2", ""}},
      {"winmgmts://./root\\cimv2", {"", ".", "root/cimv2", ""}},
      {"winmgmts://.\\root\\cimv2", {"", ".", "root/cimv2", ""}},
      {"winmgmts://.", {"", ".", "", ""}},
      {"winmgmts://./root/cimv2:Win32_NetworkAdapterConfiguration.Index=1",
       {"", ".", "root/cimv2", "Win32_NetworkAdapterConfiguration.Index=1"}},
      {"winmgmts://./root/cimv2:Custom='a:b'", {"", ".", "root/cimv2", "Custom='a:b'"}},
      {"winmgmts:{x:y}!//./root/cimv2:Custom='1'", {"x:y", ".", "root/cimv2", "Custom='1'"}},
  };
  for (const auto& c : cases) {
    const Moniker m = ParseMoniker(c.text);
    EXPECT_EQ(m.security, c.parts.security) << c.text;
    EXPECT_EQ(m.machine, c.parts.machine) << c.text;
    EXPECT_EQ(m.nameSpace, c.parts.nameSpace) << c.text;
    EXPECT_EQ(m.path, c.parts.path) << c.text;
  }
}

TEST(Moniker, RefusesWhatIsNotOne) {
  for (const char* text :
       {"", "nonsense", "winmgmts", "wmi://./root/cimv2", " winmgmts://./root/cimv2", "winmgmts:root/cimv2",
        "winmgmts:/./root/cimv2", "winmgmts:\\\\.\\root\\cimv2", "winmgmts:{impersonationLevel=impersonate",
        "winmgmts:{impersonationLevel=impersonate}!", "winmgmts:{x}!root/cimv2", "winmgmts:!//./root/cimv2"}) {
    EXPECT_EQ(test::ErrorNumberOf([&] { ParseMoniker(text); }), kInvalidMoniker) << text;
  }
}

}  // namespace
}  // namespace brv::wmi
