#pragma once
// The name the inventory server knows a machine by: "HOST-YYYY-MM-DD-HH-MM-SS",
// the host name and the time (UTC) of the first report. It is made once and
// kept in a state folder, so that every later report updates the same machine
// on the server: /var/lib/brvparts for root, else $XDG_STATE_HOME/brvparts
// (~/.local/state/brvparts). This machine's is the file `device-id`; a
// snapshot's (another machine, captured elsewhere) is `snapshots/KEY`, KEY
// made from what tells that machine from every other (never from a name two
// machines can share, such as the installer's default host name).
#include <ctime>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace brv::send {

// The state folder cannot be made or read, or holds a file that is no device id.
class DeviceIdError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The state folder of this user: root's, else the XDG one; nothing when
// neither XDG_STATE_HOME nor HOME is set.
std::optional<std::string> DefaultStateFolder();

// A host name as the server's device id takes it: letters, digits, '.', '_'
// and '-' (anything else as '_'), at most 64 of them; "unknown" for none.
std::string DeviceHost(std::string_view host);

// "HOST-YYYY-MM-DD-HH-MM-SS" for a time.
std::string MakeDeviceId(std::string_view host, std::time_t when);

// True for the shape the server takes: something, then -YYYY-MM-DD-HH-MM-SS.
bool IsDeviceId(std::string_view id);

// What tells a machine from others, as a text: the firmware's system UUID and
// serial number where the identity has them, else the hardware addresses of its
// real network adapters (globally assigned, neither zero nor group addresses)
// with the host name where known, else its disks' serial numbers. Nothing when
// the report has none of them. Placeholders firmware leaves in unset fields
// are no identity.
std::optional<std::string> MachineKey(const std::map<std::string, std::string>& identity,
                                      const nlohmann::ordered_json& categories, std::string_view host);

// The file under the state folder that keeps the id of the machine of a key:
// "snapshots/" and 32 hexadecimal digits.
std::string SnapshotIdFile(std::string_view key);

// A new id for `host` at `now`, one kept under `folder` for no other machine:
// its time is moved on a second at a time past those.
std::string NewDeviceId(const std::string& folder, std::string_view host, std::time_t now);

// The id kept under `folder` in the file `name` ("device-id", "snapshots/HOST"),
// made from `host` and `now` and kept (folders made as needed, the file
// written whole or not at all) when there is none yet. With `keep` false, a new
// id is made but not written (a report that is only shown). A new id is
// a NewDeviceId.
std::string KeptDeviceId(const std::string& folder, const std::string& name, std::string_view host, std::time_t now,
                         bool keep = true);

}  // namespace brv::send
