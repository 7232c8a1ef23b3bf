#include "containers/web/WebServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "containers/web/Connection.h"
#include "containers/web/Site.h"

namespace brv::web {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a client may take. A request must arrive whole within kRequest of
// its first byte, whatever pace its bytes come at; a connection with no request
// begun is closed after kIdle; an answer the client takes none of for kWrite is
// dropped. After a refusal the server reads on (and throws away) up to
// kLingerBytes for kLinger, so the client's send does not reset the connection
// before it has read the refusal.
constexpr auto kIdle = 5s;
constexpr auto kRequest = 10s;
constexpr auto kWrite = 10s;
constexpr auto kLinger = 2s;
constexpr size_t kLingerBytes = 1 << 20;
constexpr size_t kReadSize = size_t{16} * 1024;
// With every place taken, a connection waiting this long for its request gives
// its place to a new one.
constexpr auto kEvictable = 1s;
// Connections served at once; more wait in the listen queue, or take the place
// of one that has waited kEvictable for its request. Each holds at most one
// request (8 KiB head, 64 KiB body) and one read.
constexpr size_t kMaxClients = 1000;

std::system_error SystemError(const char* what) { return std::system_error(errno, std::generic_category(), what); }

// Answers coming back from the control's thread to the loop's.
class Mailbox {
 public:
  Mailbox() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw SystemError("eventfd");
  }
  ~Mailbox() { close(fd_); }
  Mailbox(const Mailbox&) = delete;
  Mailbox& operator=(const Mailbox&) = delete;

  int fd() const { return fd_; }
  void Post(uint64_t client, Response response) {
    {
      std::lock_guard lock(mutex_);
      items_.emplace_back(client, std::move(response));
    }
    const uint64_t one = 1;
    [[maybe_unused]] auto n = write(fd_, &one, sizeof one);
  }
  std::deque<std::pair<uint64_t, Response>> Take() {
    uint64_t count;
    [[maybe_unused]] auto n = read(fd_, &count, sizeof count);
    std::lock_guard lock(mutex_);
    return std::exchange(items_, {});
  }

 private:
  int fd_;
  std::mutex mutex_;
  std::deque<std::pair<uint64_t, Response>> items_;
};

class Loop {
 public:
  Loop(Site& site, int listener, int signals, size_t maxClients)
      : site_(site),
        listener_(listener),
        signals_(signals),
        maxClients_(maxClients),
        epoll_(epoll_create1(EPOLL_CLOEXEC)),
        mailbox_(std::make_shared<Mailbox>()) {
    if (epoll_ < 0) throw SystemError("epoll_create1");
    Watch(listener_, kListener, EPOLLIN, EPOLL_CTL_ADD);
    Watch(signals_, kSignals, EPOLLIN, EPOLL_CTL_ADD);
    Watch(mailbox_->fd(), kMailbox, EPOLLIN, EPOLL_CTL_ADD);
  }
  ~Loop() {
    for (auto& [id, client] : clients_) close(client.fd);
    close(epoll_);
  }
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;

  void Run() {
    epoll_event events[64];
    auto lastSweep = Clock::now();
    while (running_) {
      const int n = epoll_wait(epoll_, events, 64, 100);
      if (n < 0 && errno != EINTR) throw SystemError("epoll_wait");
      for (int i = 0; i < n; ++i) {
        const uint64_t id = events[i].data.u64;
        if (id == kListener) {
          Accept();
        } else if (id == kSignals) {
          // Taken, so that it is not delivered once unblocked.
          signalfd_siginfo taken;
          [[maybe_unused]] auto r = read(signals_, &taken, sizeof taken);
          running_ = false;
        } else if (id == kMailbox) {
          for (auto& [client, response] : mailbox_->Take()) {
            auto it = clients_.find(client);
            if (it == clients_.end()) continue;  // gone while its call ran
            it->second.connection.Answered(response);
            Pump(client, it->second);
          }
        } else {
          OnEvent(id, events[i].events);
        }
      }
      const auto now = Clock::now();
      if (now - lastSweep >= 100ms) {
        lastSweep = now;
        Sweep(now);
      }
    }
  }

 private:
  enum class Phase { Idle, Reading, Busy, Writing, Lingering };
  struct Client {
    int fd = -1;
    Connection connection;
    Phase phase = Phase::Idle;
    Clock::time_point since = Clock::now();
    uint32_t events = 0;
    bool peerClosed = false;  // the client sends no more
    size_t lingered = 0;
  };
  static constexpr uint64_t kListener = 1, kSignals = 2, kMailbox = 3;

  void Watch(int fd, uint64_t id, uint32_t events, int op) {
    epoll_event e{};
    e.events = events;
    e.data.u64 = id;
    if (epoll_ctl(epoll_, op, fd, &e) != 0) throw SystemError("epoll_ctl");
  }

  void Accept() {
    for (;;) {
      const bool full = clients_.size() >= maxClients_;
      const uint64_t victim = full ? LongestWaiting() : 0;
      if (full && !victim) return PauseAccepting();
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors: the rest wait in the listen queue until one closes.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) PauseAccepting();
        return;
      }
      if (victim) Close(victim);
      const int yes = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      const uint64_t id = nextId_++;
      Client& client = clients_[id];
      client.fd = fd;
      client.events = EPOLLIN;
      Watch(fd, id, EPOLLIN, EPOLL_CTL_ADD);
    }
  }

  // With every place taken, a connection that has waited a while for a
  // request, or for the rest of one, gives its place to a newcomer: the one
  // that has waited longest (0 when none has waited kEvictable).
  uint64_t LongestWaiting() const {
    uint64_t victim = 0;
    Clock::time_point oldest = Clock::now() - kEvictable;
    for (const auto& [id, client] : clients_) {
      if ((client.phase == Phase::Idle || client.phase == Phase::Reading) && client.since < oldest) {
        oldest = client.since;
        victim = id;
      }
    }
    return victim;
  }

  void PauseAccepting() {
    if (!accepting_) return;
    accepting_ = false;
    Watch(listener_, kListener, 0, EPOLL_CTL_MOD);
  }

  void Close(uint64_t id) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    close(it->second.fd);  // leaves the epoll set with it
    clients_.erase(it);
    if (!accepting_) {
      accepting_ = true;
      Watch(listener_, kListener, EPOLLIN, EPOLL_CTL_MOD);
    }
  }

  void OnEvent(uint64_t id, uint32_t events) {
    auto it = clients_.find(id);
    if (it == clients_.end()) return;
    Client& client = it->second;
    if (events & EPOLLERR) return Close(id);
    if (client.phase == Phase::Lingering) {
      char buffer[kReadSize];
      const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
      if (n > 0 && (client.lingered += static_cast<size_t>(n)) < kLingerBytes) return;
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      return Close(id);
    }
    if ((events & (EPOLLIN | EPOLLHUP)) && client.connection.WantsInput() && !client.peerClosed) {
      char buffer[kReadSize];
      const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        client.connection.Received({buffer, static_cast<size_t>(n)});
      } else if (n == 0) {
        client.peerClosed = true;
      } else if (errno != EAGAIN && errno != EINTR) {
        return Close(id);
      }
    } else if (events & EPOLLHUP) {
      return Close(id);  // gone both ways: no answer can reach it
    }
    Pump(id, client);
  }

  // Hands the connection's complete requests to the site, sends what is ready,
  // and watches for what the connection waits for next.
  void Pump(uint64_t id, Client& client) {
    const auto loopThread = std::this_thread::get_id();
    std::string& output = client.connection.Output();
    bool progress = false;
    for (;;) {
      while (auto request = client.connection.Next()) {
        site_.Handle(*request, [this, id, loopThread, mailbox = mailbox_](Response response) {
          if (std::this_thread::get_id() != loopThread) return mailbox->Post(id, std::move(response));
          if (auto it = clients_.find(id); it != clients_.end()) it->second.connection.Answered(response);
        });
      }
      while (!output.empty()) {
        const ssize_t n = send(client.fd, output.data(), output.size(), MSG_NOSIGNAL);
        if (n < 0) {
          if (errno == EAGAIN || errno == EINTR) break;
          return Close(id);
        }
        output.erase(0, static_cast<size_t>(n));
        progress = true;
      }
      // Requests read together wait while their answers are sent: take the
      // next once these are out.
      if (!output.empty() || !client.connection.Unread() || client.connection.Busy() || client.connection.Closing()) {
        break;
      }
    }
    const bool sent = output.empty();
    if (sent && client.connection.Closing()) {
      if (client.peerClosed) return Close(id);
      shutdown(client.fd, SHUT_WR);
      return Enter(id, client, Phase::Lingering, EPOLLIN);
    }
    if (client.peerClosed && sent && !client.connection.Busy()) return Close(id);

    uint32_t events = 0;
    if (client.connection.WantsInput() && !client.peerClosed) events |= EPOLLIN;
    if (!sent) events |= EPOLLOUT;
    const Phase phase = client.connection.Busy()         ? Phase::Busy
                        : !sent                          ? Phase::Writing
                        : client.connection.MidRequest() ? Phase::Reading
                                                         : Phase::Idle;
    if (progress && phase == Phase::Writing) client.since = Clock::now();
    Enter(id, client, phase, events);
  }

  void Enter(uint64_t id, Client& client, Phase phase, uint32_t events) {
    if (phase != client.phase) {
      client.phase = phase;
      client.since = Clock::now();
    }
    if (events != client.events) {
      client.events = events;
      Watch(client.fd, id, events, EPOLL_CTL_MOD);
    }
  }

  // How long a client may stay in a phase; nothing while the control works for it.
  static std::optional<Clock::duration> Patience(Phase phase) {
    switch (phase) {
      case Phase::Idle: return kIdle;
      case Phase::Reading: return kRequest;
      case Phase::Writing: return kWrite;
      case Phase::Lingering: return kLinger;
      case Phase::Busy: return std::nullopt;
    }
    return std::nullopt;
  }

  // Closes what waited too long, after a 408 for a request begun too long ago.
  void Sweep(Clock::time_point now) {
    std::vector<uint64_t> late;
    for (const auto& [id, client] : clients_) {
      if (const auto limit = Patience(client.phase); limit && now - client.since > *limit) late.push_back(id);
    }
    for (uint64_t id : late) {
      Client& client = clients_.at(id);
      if (client.phase == Phase::Idle || client.phase == Phase::Reading) {
        client.connection.TimedOut();
        Pump(id, client);
      } else {
        if (client.phase == Phase::Writing) {
          // Reset: what the client did not take is thrown away now, not kept
          // in the system's buffers for it.
          const linger abort{1, 0};
          setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        Close(id);
      }
    }  // Full, and a connection has now waited long enough to give its place.
    if (!accepting_ && LongestWaiting()) {
      accepting_ = true;
      Watch(listener_, kListener, EPOLLIN, EPOLL_CTL_MOD);
    }
  }

  Site& site_;
  const int listener_, signals_;
  const size_t maxClients_;
  const int epoll_;
  std::shared_ptr<Mailbox> mailbox_;
  std::unordered_map<uint64_t, Client> clients_;
  uint64_t nextId_ = 16;
  bool accepting_ = true;
  bool running_ = true;
};

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
size_t RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 64;
  const rlim_t wanted = kMaxClients + 64;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur > 96 ? std::min<size_t>(kMaxClients, limit.rlim_cur - 64) : 32;
}

}  // namespace

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  // SIGINT and SIGTERM come to the loop through a descriptor; every thread
  // started from here on keeps them blocked.
  sigset_t stopSignals, previous;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  signal(SIGPIPE, SIG_IGN);

  int status = 0;
  int listener = -1, signals = -1;
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
    const size_t maxClients = RaiseDescriptorLimit();
    int port = -1;
    listener = Listen(options.bind, options.port, port);
    if (listener < 0) {
      err << "brvparts: cannot listen on " << UrlHost(options.bind) << ":" << options.port << ": "
          << std::strerror(errno) << "\n";
      status = 1;
    } else {
      signals = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
      if (signals < 0) throw SystemError("signalfd");
      Loop loop(*site, listener, signals, maxClients);
      out << "Listening on http://" << UrlHost(options.bind) << ":" << port << "/" << std::endl;
      loop.Run();
    }
  } catch (const std::exception& e) {
    err << "brvparts: the web server failed: " << e.what() << "\n";
    status = 1;
  }
  if (signals >= 0) close(signals);
  if (listener >= 0) close(listener);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return status;
}

}  // namespace brv::web
