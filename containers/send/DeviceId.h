#pragma once
// The name the inventory server knows a machine by: "HOST-YYYY-MM-DD-HH-MM-SS",
// the host name and the time (UTC) of the first report. It is made once and
// kept in a state folder, so that every later report updates the same machine
// on the server: /var/lib/brvparts for root, else $XDG_STATE_HOME/brvparts
// (~/.local/state/brvparts). This machine's is the file `device-id`; a
// snapshot's (another machine, captured elsewhere) is `snapshots/HOST`.
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

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

// The id kept under `folder` in the file `name` ("device-id", "snapshots/HOST"),
// made from `host` and `now` and kept (folders made as needed, the file
// written whole or not at all) when there is none yet. With `keep` false, a new
// id is made but not written (a report that is only shown).
std::string KeptDeviceId(const std::string& folder, const std::string& name, std::string_view host, std::time_t now,
                         bool keep = true);

}  // namespace brv::send
