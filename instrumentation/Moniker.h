#pragma once
// The instrumentation's monikers, read the same way on every system:
//
//   winmgmts:[{SECURITY}[!]]//MACHINE/NAMESPACE[:PATH]
//
// The scheme in any letter case; the security settings in braces (the
// impersonation level and the like) before the machine; '/' or '\' between the
// machine and the namespace's parts; an object path after the first ':'.
// Whether the machine and namespace can be reached is for the service to say.
#include <cstdint>
#include <string>
#include <string_view>

namespace brv::wmi {

// MK_E_SYNTAX: the moniker itself is malformed.
inline constexpr int32_t kInvalidMoniker = static_cast<int32_t>(0x800401E4u);

struct Moniker {
  std::string security;   // what the braces hold, "" when there are none
  std::string machine;    // "." for this machine
  std::string nameSpace;  // "root/cimv2": its parts joined by '/', whichever separator was written
  std::string path;       // the object path after ':', "" for the namespace itself
};

// The parts of a moniker; raises kInvalidMoniker when it is not one.
Moniker ParseMoniker(std::string_view text);

}  // namespace brv::wmi
