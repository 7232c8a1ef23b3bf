#include "containers/web/WebServer.h"

#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "common/Text.h"
#include "containers/web/Site.h"

namespace brv::web {

// What the server's thread and the threads that answer for the site share.
struct HttpServer::Shared : std::enable_shared_from_this<Shared> {
  Site* site = nullptr;
  std::mutex mutex;
  std::condition_variable changed;
  size_t suspended = 0;   // connections waiting for the control's answer
  bool stopping = false;  // no connection is suspended any more
};

namespace {

// Connections served at once; more wait in the listen queue.
constexpr unsigned kMaxClients = 1000;

// One request, from its head to its answer.
struct Exchange {
  Request request;
  size_t dropped = 0;              // body bytes past kMaxBody, read and not kept
  bool handed = false;             // given to the site
  bool suspended = false;          // waiting, off the library's books, for the answer
  std::optional<Response> answer;  // set by whichever thread the site answers on
  MHD_Connection* connection = nullptr;
};
using ExchangeRef = std::shared_ptr<Exchange>;

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
  });
}

// The comma-separated elements of the values of every field of that name, trimmed, in lower case.
std::vector<std::string> Elements(const Request& request, std::string_view name) {
  std::vector<std::string> out;
  for (const auto& [n, value] : request.headers) {
    if (n != name) continue;
    std::string_view rest = value;
    for (;;) {
      const size_t comma = rest.find(',');
      out.push_back(LowerAscii(Trim(rest.substr(0, comma), " \t")));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return out;
}

// What the library takes but this server does not: each one could let two
// readers of the same bytes (a proxy and this server) see different requests,
// or is a body the site would refuse anyway. Checked on the head, before any
// of the body is read.
std::optional<Response> Vet(const Request& request, std::string_view version) {
  if (version != "HTTP/1.1" && version != "HTTP/1.0") {
    return Refusal(505, "This server speaks HTTP/1.1 and HTTP/1.0 only.");
  }
  if (!IsToken(request.method) || request.method.size() > 32) {
    return Refusal(400, "The request's method is not a token.");
  }
  const std::string& path = request.path;
  if (path.empty() || path.front() != '/' ||
      !std::all_of(path.begin(), path.end(), [](unsigned char c) { return c > 0x20 && c < 0x7f; })) {
    return Refusal(400, "The request's target is not a path.");
  }
  std::optional<std::string> length;
  bool coded = false, host = false;
  for (const auto& [name, value] : request.headers) {
    if (!IsToken(name)) return Refusal(400, "A header field is not NAME: VALUE.");
    if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; })) {
      return Refusal(400, "A header field's value holds control characters.");
    }
    if (name == "host") {
      host = true;
    } else if (name == "content-length") {
      // The library has read the first one as a number; any other must be the same.
      if (length && *length != value) return Refusal(400, "The request has Content-Length fields that differ.");
      length = value;
    } else if (name == "transfer-encoding") {
      coded = true;
    } else if (name == "expect" && LowerAscii(value) != "100-continue") {
      return Refusal(417, "The only expectation met is 100-continue.");
    }
  }
  if (version == "HTTP/1.1" && !host) return Refusal(400, "An HTTP/1.1 request needs a Host field.");
  if (coded) {
    if (version == "HTTP/1.0") return Refusal(400, "An HTTP/1.0 request cannot be sent chunked.");
    if (length) return Refusal(400, "The request has both Content-Length and Transfer-Encoding.");
    if (Elements(request, "transfer-encoding") != std::vector<std::string>{"chunked"}) {
      return Refusal(501, "The only transfer coding taken is chunked.");
    }
  }
  // At most 18 digits, or the library would have refused it as too large.
  if (length && std::stoull(*length) > kMaxBody) {
    return Refusal(413, "A request body may hold at most " + std::to_string(kMaxBody) + " bytes.");
  }
  return std::nullopt;
}

// A query's name or value with its %XX escapes decoded (the library has made
// '+' a space already); a '%' not followed by two hex digits stays as it is.
std::string Unescaped(std::string_view text) {
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

void DeleteString(void* text) { delete static_cast<std::string*>(text); }

MHD_Result Queue(MHD_Connection* connection, Response response) {
  auto* body = new std::string(std::move(response.body));
  MHD_Response* answer =
      MHD_create_response_from_buffer_with_free_callback_cls(body->size(), body->data(), &DeleteString, body);
  if (!answer) {
    delete body;
    return MHD_NO;
  }
  for (const auto& [name, value] : kSecurityHeaders) MHD_add_response_header(answer, name, value);
  if (!response.type.empty()) MHD_add_response_header(answer, "Content-Type", response.type.c_str());
  for (const auto& [name, value] : response.headers) MHD_add_response_header(answer, name.c_str(), value.c_str());
  if (response.close) MHD_add_response_header(answer, "Connection", "close");
  const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(response.status), answer);
  MHD_destroy_response(answer);
  return queued;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char* version,
                     const char* upload, size_t* uploadSize, void** context) {
  auto& shared = *static_cast<HttpServer::Shared*>(cls);
  if (!*context) {
    // The head has come: the body, if any, is still to be read.
    auto* ref = new ExchangeRef(std::make_shared<Exchange>());
    *context = ref;
    Request& request = (*ref)->request;
    request.method = method;
    request.path = url;
    MHD_get_connection_values_n(
        connection, MHD_HEADER_KIND,
        [](void* headers, MHD_ValueKind, const char* name, size_t nameSize, const char* value, size_t valueSize) {
          static_cast<decltype(Request::headers)*>(headers)->emplace_back(LowerAscii({name, nameSize}),
                                                                          std::string(value, valueSize));
          return MHD_YES;
        },
        &request.headers);
    MHD_get_connection_values_n(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* query, MHD_ValueKind, const char* name, size_t nameSize, const char* value, size_t valueSize) {
          static_cast<decltype(Request::query)*>(query)->emplace_back(
              Unescaped({name, nameSize}), value ? Unescaped({value, valueSize}) : std::string());
          return MHD_YES;
        },
        &request.query);
    if (auto refusal = Vet(request, version)) {
      // Answered before the body is read; the library closes the connection after.
      refusal->close = true;
      return Queue(connection, std::move(*refusal));
    }
    return MHD_YES;
  }
  const ExchangeRef exchange = *static_cast<ExchangeRef*>(*context);
  if (*uploadSize) {
    // Bytes of the body, chunked or not. Past the limit they are dropped, and
    // a body that goes on too far ends the connection.
    std::string& body = exchange->request.body;
    if (exchange->dropped == 0 && body.size() + *uploadSize <= kMaxBody) {
      body.append(upload, *uploadSize);
    } else {
      exchange->dropped += *uploadSize;
      if (exchange->dropped > kMaxDropped) return MHD_NO;
    }
    *uploadSize = 0;
    return MHD_YES;
  }
  if (exchange->dropped) {
    Response refusal = Refusal(413, "A request body may hold at most " + std::to_string(kMaxBody) + " bytes.");
    refusal.close = true;
    return Queue(connection, std::move(refusal));
  }
  if (!exchange->handed) {
    exchange->handed = true;
    exchange->connection = connection;
    const auto reply = [owner = shared.shared_from_this(), exchange](Response response) {
      std::lock_guard lock(owner->mutex);
      exchange->answer = std::move(response);
      if (exchange->suspended) {
        exchange->suspended = false;
        MHD_resume_connection(exchange->connection);
        --owner->suspended;
      }
      owner->changed.notify_all();
    };
    bool stopping;
    {
      std::lock_guard lock(shared.mutex);
      stopping = shared.stopping;
    }
    try {
      if (stopping) throw std::runtime_error("the server is stopping");
      shared.site->Handle(exchange->request, reply);
    } catch (const std::exception& e) {
      reply(Refusal(503, std::string("The server is closing: ") + e.what()));
    }
  }
  std::unique_lock lock(shared.mutex);
  if (!exchange->answer) {
    if (!shared.stopping) {
      // The control answers later, on its own thread: the connection waits
      // without being polled or timed out, and is resumed by the answer.
      MHD_suspend_connection(connection);
      exchange->suspended = true;
      ++shared.suspended;
      return MHD_YES;
    }
    // Stopping: nothing may stay suspended, and the answer is near.
    shared.changed.wait(lock, [&] { return exchange->answer.has_value(); });
  }
  Response answer = std::move(*exchange->answer);
  exchange->answer.reset();
  lock.unlock();
  return Queue(connection, std::move(answer));
}

void OnCompleted(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
  delete static_cast<ExchangeRef*>(*context);
  *context = nullptr;
}

// Targets are matched as sent: "%2e" is not ".".
size_t KeepEscapes(void*, MHD_Connection*, char* text) { return std::strlen(text); }

std::string UrlHost(const std::string& bind) {
  if (bind.find(':') != std::string::npos && !bind.starts_with("[")) return "[" + bind + "]";
  return bind;
}

// A listening socket on the address and port, or -1 (errno says why). A burst
// of connections waits in a queue as long as the system allows.
int Listen(const std::string& bind, int port, int& bound) {
  std::string host = bind;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    errno = EADDRNOTAVAIL;
    return -1;
  }
  int fd = -1;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    // SO_REUSEADDR only: a restart can take the port while old connections
    // linger, but a second server cannot share it.
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, SOMAXCONN) == 0) break;
    const int saved = errno;
    close(fd);
    fd = -1;
    errno = saved;
  }
  const int saved = errno;
  freeaddrinfo(found);
  errno = saved;
  if (fd < 0) return -1;
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  bound = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return fd;
}

// As many descriptors as the serving takes: one a connection, and a few more.
unsigned RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 64;
  const rlim_t wanted = kMaxClients + 64;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur > 96 ? static_cast<unsigned>(std::min<rlim_t>(kMaxClients, limit.rlim_cur - 64)) : 32;
}

}  // namespace

HttpServer::HttpServer(Site& site, int listener, unsigned maxClients) : shared_(std::make_shared<Shared>()) {
  shared_->site = &site;
  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
  if (listener < 0) flags |= MHD_USE_NO_LISTEN_SOCKET;
  const auto callback = [](auto* function) { return reinterpret_cast<intptr_t>(function); };
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_CONNECTION_LIMIT, maxClients, nullptr},
      {MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, nullptr},
      {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, callback(&OnCompleted), nullptr},
      {MHD_OPTION_UNESCAPE_CALLBACK, callback(&KeepEscapes), nullptr},
      {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
  };
  // The port is the listener's: the library binds nothing itself.
  if (listener >= 0) options.push_back({MHD_OPTION_LISTEN_SOCKET, listener, nullptr});
  options.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &OnRequest, shared_.get(), MHD_OPTION_ARRAY, options.data(),
                             MHD_OPTION_END);
  if (!daemon_) {
    if (listener >= 0) close(listener);
    throw std::runtime_error("the HTTP library could not start");
  }
}

HttpServer::~HttpServer() {
  {
    std::unique_lock lock(shared_->mutex);
    shared_->stopping = true;
    shared_->changed.wait(lock, [this] { return shared_->suspended == 0; });
  }
  MHD_stop_daemon(daemon_);
}

bool HttpServer::Adopt(int fd) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return MHD_add_connection(daemon_, fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == MHD_YES;
}

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  // SIGINT and SIGTERM are taken by this thread alone; every thread started
  // from here on keeps them blocked.
  sigset_t stopSignals, previous;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  signal(SIGPIPE, SIG_IGN);

  int status = 0;
  std::optional<Site> site;
  try {
    std::shared_ptr<Baseline> baseline;
    if (!options.baseline.empty()) baseline = std::make_shared<Baseline>(options.baseline);
    site.emplace(HostPolicy::ForThisMachine(options.bind, options.allowHosts), std::move(baseline));
  } catch (const std::exception& e) {
    err << "brvparts: the control could not be started: " << e.what() << "\n";
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return 1;
  }
  try {
    const unsigned maxClients = RaiseDescriptorLimit();
    int port = -1;
    const int listener = Listen(options.bind, options.port, port);
    if (listener < 0) {
      err << "brvparts: cannot listen on " << UrlHost(options.bind) << ":" << options.port << ": "
          << std::strerror(errno) << "\n";
      status = 1;
    } else {
      HttpServer server(*site, listener, maxClients);
      out << "Listening on http://" << UrlHost(options.bind) << ":" << port << "/" << std::endl;
      int signal = 0;
      sigwait(&stopSignals, &signal);
    }
  } catch (const std::exception& e) {
    err << "brvparts: the web server failed: " << e.what() << "\n";
    status = 1;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

}  // namespace brv::web
