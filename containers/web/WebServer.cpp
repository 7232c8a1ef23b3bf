#include "containers/web/WebServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ostream>
#include <string_view>
#include <thread>

#include "containers/web/ContainerThread.h"
#include "containers/web/PageAssets.h"

namespace brv::web {
namespace {

using json = nlohmann::ordered_json;

struct Route {
  std::string_view path;
  std::string_view method;  // GET routes answer HEAD too
};

constexpr Route kRoutes[] = {
    {"/", "GET"},        {"/app.js", "GET"},    {"/app.css", "GET"},
    {"/favicon.svg", "GET"}, {"/api/state", "GET"}, {"/api/call", "POST"},
};

const Route* FindRoute(std::string_view path) {
  for (const Route& r : kRoutes) {
    if (r.path == path) return &r;
  }
  return nullptr;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
  return out;
}

// The media type of a Content-Type value, without parameters, in lower case.
std::string MediaType(std::string_view value) {
  value = value.substr(0, value.find(';'));
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  return Lower(value);
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 500: return "Internal Server Error";
    default: return status < 500 ? "Client Error" : "Server Error";
  }
}

// A short JSON error body: {"status": 404, "error": "Not Found", "message": "..."}.
void Refuse(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_header("Cache-Control", "no-store");
  res.set_content(DumpJson(json{{"status", status}, {"error", Reason(status)},
                                {"message", message}}),
                  "application/json");
}

// A name for this machine: "localhost", the IPv6 loopback address, or an IPv4
// address in 127.0.0.0/8 (written as one: "127.example.org" is not).
bool IsLoopback(std::string_view host) {
  if (host == "localhost" || host == "::1" || host == "[::1]") return true;
  in_addr address{};
  return inet_pton(AF_INET, std::string(host).c_str(), &address) == 1 && ntohl(address.s_addr) >> 24 == 127;
}

// A path as quoted in a message: long ones are cut short.
std::string Quoted(const std::string& path) {
  return path.size() <= 80 ? path : path.substr(0, 80) + "...";
}

// The host name of a Host header, without its port.
std::string_view HostName(std::string_view header) {
  if (!header.empty() && header.front() == '[') return header.substr(0, header.find(']') + 1);
  return header.substr(0, header.find(':'));
}

class Site {
 public:
  explicit Site(bool loopbackOnly) : loopbackOnly_(loopbackOnly) {
    // A few threads are plenty: every call waits for the one control anyway.
    server_.new_task_queue = [] { return new httplib::ThreadPool(8); };
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share the port unnoticed; only SO_REUSEADDR is wanted (a restart
    // can take the port while old connections linger).
    server_.set_socket_options([](socket_t sock) {
      const int yes = 1;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // An answer is written as headers and body: without this, the body waits for
    // the client's delayed acknowledgement, tens of milliseconds a call.
    server_.set_tcp_nodelay(true);
    server_.set_payload_max_length(kMaxBody);
    server_.set_keep_alive_timeout(2);
    server_.set_read_timeout(5);
    server_.set_write_timeout(5);
    server_.set_default_headers({
        {"X-Content-Type-Options", "nosniff"},
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
         "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"Referrer-Policy", "no-referrer"},
        {"X-Frame-Options", "DENY"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
    });

    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      return Admit(req, res) ? httplib::Server::HandlerResponse::Unhandled : httplib::Server::HandlerResponse::Handled;
    });
    server_.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
      if (!res.body.empty()) return;
      if (res.status == 413) {
        Refuse(res, 413, "A request body may hold at most " + std::to_string(kMaxBody) + " bytes.");
        res.set_header("Connection", "close");
      } else {
        Refuse(res, res.status, "The request for " + Quoted(req.path) + " could not be answered.");
      }
    });
    server_.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
      std::string what = "unknown failure";
      try {
        if (e) std::rethrow_exception(e);
      } catch (const std::exception& x) {
        what = x.what();
      } catch (...) {
      }
      Refuse(res, 500, "The server failed: " + what);
    });

    Asset("/", kPageHtml, "text/html; charset=utf-8");
    Asset("/app.js", kPageScript, "text/javascript; charset=utf-8");
    Asset("/app.css", kPageStyle, "text/css; charset=utf-8");
    Asset("/favicon.svg", kPageIcon, "image/svg+xml");

    server_.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
      json state = control_.Startup();
      state["currentGrid"] = control_.CurrentGrid();
      res.set_header("Cache-Control", "no-store");
      res.set_content(DumpJson(state), "application/json");
    });
    server_.Post("/api/call", [this](const httplib::Request& req, httplib::Response& res) {
      if (MediaType(req.get_header_value("Content-Type")) != "application/json") {
        Refuse(res, 415, "Send the request line as application/json.");
        return;
      }
      res.set_header("Cache-Control", "no-store");
      res.set_content(control_.Call(req.body), "application/json");
    });
  }

  int Bind(const std::string& host, int port) {
    if (port == 0) return server_.bind_to_any_port(host);
    return server_.bind_to_port(host, port) ? port : -1;
  }
  bool Run() { return server_.listen_after_bind(); }
  bool Running() const { return server_.is_running(); }
  void Stop() { server_.stop(); }

 private:
  void Asset(const char* path, std::string_view body, const char* type) {
    server_.Get(path, [body, type](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(body.data(), body.size(), type);
    });
  }

  // Unknown paths, methods a path does not take and (when serving the loopback
  // address) a Host header naming another site are refused before routing.
  bool Admit(const httplib::Request& req, httplib::Response& res) const {
    const std::string host = req.get_header_value("Host");
    if (loopbackOnly_ && !host.empty() && !IsLoopback(HostName(host))) {
      Refuse(res, 403, "This server answers only requests addressed to this machine.");
      res.set_header("Connection", "close");
      return false;
    }
    const Route* route = FindRoute(req.path);
    if (!route) {
      Refuse(res, 404, "There is nothing at " + Quoted(req.path) + ".");
      res.set_header("Connection", "close");
      return false;
    }
    const bool allowed = req.method == route->method || (route->method == "GET" && req.method == "HEAD");
    if (!allowed) {
      Refuse(res, 405, Quoted(req.path) + " takes " + std::string(route->method) + " only.");
      res.set_header("Allow", route->method == "GET" ? "GET, HEAD" : std::string(route->method));
      res.set_header("Connection", "close");
      return false;
    }
    return true;
  }

  const bool loopbackOnly_;
  ContainerThread control_;  // before the server, so it outlives every handler
  httplib::Server server_;
};

std::string UrlHost(const std::string& bind) {
  if (bind.find(':') != std::string::npos) return "[" + bind + "]";
  return bind;
}

}  // namespace

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  // SIGINT and SIGTERM are taken by a thread of our own; every thread started
  // from here on keeps them blocked.
  sigset_t stopSignals, previous;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  signal(SIGPIPE, SIG_IGN);

  int status = 0;
  try {
    Site site(IsLoopback(options.bind));
    const int port = site.Bind(options.bind, options.port);
    if (port < 0) {
      err << "brvparts: cannot listen on " << UrlHost(options.bind) << ":" << options.port << ": "
          << (errno ? std::strerror(errno) : "the address is not usable") << "\n";
      status = 1;
    } else {
      out << "Listening on http://" << UrlHost(options.bind) << ":" << port << "/" << std::endl;
      std::atomic<bool> finished{false};
      std::thread stopper([&] {
        const timespec tick{0, 100'000'000};
        while (!finished) {
          if (sigtimedwait(&stopSignals, nullptr, &tick) < 0) continue;
          // The server may not have started listening yet: stop it once it has.
          while (!finished && !site.Running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
          if (!finished) site.Stop();
          return;
        }
      });
      if (!site.Run()) status = 1;
      finished = true;
      stopper.join();
    }
  } catch (const std::exception& e) {
    err << "brvparts: the control could not be started: " << e.what() << "\n";
    status = 1;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

}  // namespace brv::web
