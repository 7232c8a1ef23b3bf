#pragma once
// `brvparts serve`: the control on a web page (see Site.h for what it answers),
// served over HTTP/1.1 by libmicrohttpd.
//
// The library reads the requests (chunked bodies included), keeps the
// connections and their timeouts, from one thread and an epoll set, so a slow
// or idle client holds only its socket and its connection's memory, never a
// thread. What it does not check, and the limits of a request body, are
// checked here before the site sees a request.
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

struct MHD_Daemon;

namespace brv::web {

class Site;

struct ServeOptions {
  std::string bind = "127.0.0.1";
  int port = 8080;  // 0 picks a free port
  // Host names and addresses a request may name besides this machine's own
  // (see HostPolicy).
  std::vector<std::string> allowHosts;
  // A snapshot the page compares the inventory with (GET /api/baseline), if any.
  std::string baseline;
};

// How long and how much a client may take.
// Every connection must make progress (a byte read from it, or taken by it)
// at least this often, or it is closed.
inline constexpr unsigned kIdleSeconds = 5;
// The memory a connection's request head and answer head share: a head longer
// than about this is refused (414 for the request line, else 431).
inline constexpr size_t kConnectionMemory = 8 * 1024;
// A chunked body past kMaxBody is read on (and dropped) this far for its end,
// to be answered 413; further, the connection is closed.
inline constexpr size_t kMaxDropped = 1 << 20;

// The site served by the library, on a listening socket or on connections
// handed to it.
class HttpServer {
 public:
  // Serves `site` on `listener`, a listening socket it takes over, at most
  // `maxClients` connections at once (the rest wait in the listen queue), or
  // with listener -1 only on the connections given to Adopt(). Throws
  // std::runtime_error when the library cannot start.
  HttpServer(Site& site, int listener, unsigned maxClients);
  // Waits for the answers the control still owes, then closes every connection.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Serves a connected socket as if it had been accepted (it is taken over).
  bool Adopt(int fd);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  MHD_Daemon* daemon_ = nullptr;
};

// Serves until SIGINT or SIGTERM. Once listening, prints one line on `out`,
// "Listening on http://ADDRESS:PORT/". Returns the program's exit status: 0 after
// a clean stop, 1 when the address cannot be listened on (the reason on `err`).
int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brv::web
