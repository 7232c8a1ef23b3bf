// Any bytes as what a client sends the web server: written, in pieces of a size
// the first byte picks, into one end of a socket pair whose other end the HTTP
// library serves as a connection, in-process, to the site over a control
// reading a fixed snapshot. The library must end the connection once the
// client has said all (no hang), and what comes back must be whole answers one
// after another.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "containers/web/Site.h"
#include "containers/web/WebServer.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/MessageBox.h"

namespace {

const char* kSnapshot = R"({"format": "brvparts-snapshot/1", "classes": {
  "CIM_Processor": [{"Manufacturer": "GenuineIntel", "Name": "Core", "MaxClockSpeed": 2600, "SocketDesignation": "U3E1", "Version": null}],
  "DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}]}})";

brv::web::HttpServer& TheServer() {
  static std::unique_ptr<brv::web::Site> site;
  static std::unique_ptr<brv::web::HttpServer> server = [] {
    brv::UseClassSource(std::make_shared<brv::SnapshotSource>(brv::ParseSnapshot(kSnapshot, "fuzz")));
    brv::SetMessageBoxHandler([](const std::string&, const std::string&, int32_t) {});
    site = std::make_unique<brv::web::Site>(brv::web::HostPolicy("127.0.0.1", {"example.org"}, {}));
    return std::make_unique<brv::web::HttpServer>(*site, -1, 16);
  }();
  return *server;
}

// Whether `output` is whole answers one after another (after interim "100
// Continue" ones). An answer to HEAD has no body, and which requests were HEAD
// is not known here: a body is taken when another answer or the end follows it.
bool WholeAnswers(std::string_view output) {
  while (!output.empty()) {
    if (!output.starts_with("HTTP/1.1 ")) return false;
    const size_t end = output.find("\r\n\r\n");
    if (end == std::string_view::npos) return false;
    const std::string_view head = output.substr(0, end + 2);
    output.remove_prefix(end + 4);
    if (head.starts_with("HTTP/1.1 100 ")) continue;
    const size_t at = head.find("\r\nContent-Length: ");
    if (at == std::string_view::npos) return false;
    const size_t length = std::stoul(std::string(head.substr(at + 18, 12)));
    const auto follows = [](std::string_view rest) { return rest.empty() || rest.starts_with("HTTP/1.1 "); };
    if (output.size() >= length && follows(output.substr(length))) {
      output.remove_prefix(length);
    } else if (!follows(output)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  brv::web::HttpServer& server = TheServer();
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 97;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0) return 0;
  if (!server.Adopt(ends[0])) __builtin_trap();
  const int client = ends[1];
  std::string output;
  bool said = false;
  // Reads and writes as they become possible; the library's own timeout would
  // end a stalled connection within seconds, so 30 s without an end is a hang.
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (;;) {
    if (std::chrono::steady_clock::now() > limit) __builtin_trap();
    if (!said && input.empty()) {
      shutdown(client, SHUT_WR);
      said = true;
    }
    pollfd p{client, static_cast<short>(POLLIN | (said ? 0 : POLLOUT)), 0};
    if (poll(&p, 1, 1000) <= 0) continue;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      char buffer[65536];
      const ssize_t n = read(client, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EAGAIN)) break;  // the library ended the connection
      if (n > 0) output.append(buffer, static_cast<size_t>(n));
    }
    if (!said && (p.revents & POLLOUT)) {
      const ssize_t n = send(client, input.data(), std::min(piece, input.size()), MSG_NOSIGNAL);
      if (n > 0) input.remove_prefix(static_cast<size_t>(n));
      if (n < 0 && errno != EAGAIN) said = true;  // the library closed its end
    }
  }
  close(client);
  if (!WholeAnswers(output)) __builtin_trap();
  return 0;
}
