#pragma once
// `brvparts serve`: the control on a web page (see Site.h for what it answers).
//
// One thread serves every connection from an event loop, so a slow or idle
// client holds only its socket and the bytes of its one request, never a
// thread: a request must arrive whole within a few seconds of its first byte,
// a connection kept alive is closed after a few idle seconds, and a burst of
// connections waits in a listen queue as long as the system allows.
#include <iosfwd>
#include <string>
#include <vector>

#include "containers/web/HttpMessage.h"

namespace brv::web {

struct ServeOptions {
  std::string bind = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
  // Host names and addresses a request may name besides this machine's own
  // (see HostPolicy).
  std::vector<std::string> allowHosts;
  // A snapshot the page compares the inventory with (GET /api/baseline), if any.
  std::string baseline;
};

// Serves until SIGINT or SIGTERM. Once listening, prints one line on `out`,
// "Listening on http://ADDRESS:PORT/". Returns the program's exit status: 0 after
// a clean stop, 1 when the address cannot be listened on (the reason on `err`).
int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brv::web
