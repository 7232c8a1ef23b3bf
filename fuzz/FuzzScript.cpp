// Any bytes as script-mode request lines against a control answering from a
// fixed snapshot: every line gets exactly one well-formed answer, and an error's
// reason is short and free of control characters.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "containers/common/ScriptSession.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace {

const char* kSnapshot = R"({"format": "brvparts-snapshot/1", "classes": {
  "CIM_Processor": [{"Manufacturer": "GenuineIntel", "Name": "Core", "MaxClockSpeed": 2600, "SocketDesignation": "U3E1", "Version": null}],
  "DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}],
  "Win32_DiskDrive": [{"Model": "Disk", "Size": 512110190592}],
  "Win32_NetworkAdapter": [{"Index": 2, "MACAddress": "00:11:22:33:44:55", "Manufacturer": null, "Name": "eth0", "AdapterType": "Ethernet 802.3", "Description": "NIC"}],
  "Win32_NetworkAdapterConfiguration": [{"Index": 2, "IPAddress": ["10.0.0.2"]}]}})";

brv::ScriptSession& Session() {
  static std::unique_ptr<brv::ScriptSession> session = [] {
    brv::UseClassSource(std::make_shared<brv::SnapshotSource>(brv::ParseSnapshot(kSnapshot, "fuzz")));
    brv::SetMessageBoxHandler([](const std::string&, const std::string&, int32_t) {});
    return std::make_unique<brv::ScriptSession>();
  }();
  return *session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  for (std::string line; brv::ReadRequestLine(in, line);) {
    const auto answer = Session().Handle(line);
    if (!answer.contains("result") || !answer.contains("error") || !answer.contains("grid")) __builtin_trap();
    if (answer["result"].is_null() == answer["error"].is_null()) __builtin_trap();
    if (!answer["error"].is_null()) {
      // A short reason, free of control characters, whatever the line held.
      const std::string reason = answer["error"]["description"];
      if (reason.size() > 1024) __builtin_trap();
      for (const char c : reason) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
      }
    }
    answer.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  return 0;
}
