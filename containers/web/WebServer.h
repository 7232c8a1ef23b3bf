#pragma once
// `brvparts serve`: the control on a web page. An embedded HTTP server serves
// the page, its script and style, and the control's script mode as an API:
//
//   GET  /api/state  the control's start-up line, plus "currentGrid": the grid now
//   POST /api/call   one request line (application/json) -> its answer line
//
// One control serves every client; it lives on a thread of its own and runs the
// calls one at a time, in the order they arrive.
#include <iosfwd>
#include <string>

namespace brv::web {

struct ServeOptions {
  std::string bind = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
};

// The largest request body taken.
inline constexpr size_t kMaxBody = 64 * 1024;

// Serves until SIGINT or SIGTERM. Once listening, prints one line on `out`,
// "Listening on http://ADDRESS:PORT/". Returns the program's exit status: 0 after
// a clean stop, 1 when the address cannot be listened on (the reason on `err`).
int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brv::web
