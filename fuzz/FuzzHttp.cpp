// Any bytes as what a client sends the web server, without a socket: fed to a
// connection in pieces of a size the first byte picks, as reads might deliver
// them, and every complete request answered by the site over a control reading
// a fixed snapshot. Each request gets exactly one answer; everything sent is a
// sequence of whole HTTP/1.1 answers, and after a refusal nothing more is taken.
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>

#include "containers/web/Connection.h"
#include "containers/web/Site.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/MessageBox.h"

namespace {

const char* kSnapshot = R"({"format": "brvparts-snapshot/1", "classes": {
  "CIM_Processor": [{"Manufacturer": "GenuineIntel", "Name": "Core", "MaxClockSpeed": 2600, "SocketDesignation": "U3E1", "Version": null}],
  "DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}]}})";

brv::web::Site& TheSite() {
  static std::unique_ptr<brv::web::Site> site = [] {
    brv::UseClassSource(std::make_shared<brv::SnapshotSource>(brv::ParseSnapshot(kSnapshot, "fuzz")));
    brv::SetMessageBoxHandler([](const std::string&, const std::string&, int32_t) {});
    return std::make_unique<brv::web::Site>(brv::web::HostPolicy("127.0.0.1", {"example.org"}, {}));
  }();
  return *site;
}

// Checks that `output` is whole answers (after an interim "100 Continue"), with
// bodies unless they answer HEAD, and lets them go as a send would.
void Sent(std::string& output, bool head) {
  constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
  while (!output.empty()) {
    if (output.starts_with(kContinue)) {
      output.erase(0, kContinue.size());
      continue;
    }
    if (!output.starts_with("HTTP/1.1 ")) __builtin_trap();
    const size_t end = output.find("\r\n\r\n");
    const size_t at = output.find("\r\nContent-Length: ");
    if (end == std::string::npos || at == std::string::npos || at > end) __builtin_trap();
    const size_t length = head ? 0 : std::stoul(output.substr(at + 18, 12));
    if (output.size() < end + 4 + length) __builtin_trap();
    output.erase(0, end + 4 + length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brv::web::Site& site = TheSite();
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 97;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  brv::web::Connection connection;
  for (;;) {
    while (auto request = connection.Next()) {
      std::promise<brv::web::Response> answer;
      auto answered = answer.get_future();
      // A second answer would throw here.
      site.Handle(*request, [&answer](brv::web::Response r) { answer.set_value(std::move(r)); });
      connection.Answered(answered.get());
      if (connection.Busy()) __builtin_trap();
      Sent(connection.Output(), request->method == "HEAD");
    }
    Sent(connection.Output(), false);
    if (connection.Closing() || input.empty()) break;
    if (!connection.WantsInput()) __builtin_trap();  // nothing in hand and everything sent
    const size_t n = std::min(piece, input.size());
    connection.Received(input.substr(0, n));
    input.remove_prefix(n);
  }
  return 0;
}
