#include "instrumentation/linux/RouteNetlink.h"

#include <arpa/inet.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brv::live {
namespace {

// One attribute of a message: its type and payload.
struct Attribute {
  uint16_t type;
  const unsigned char* data;
  size_t size;
};

// Walks the attributes that follow a message's fixed header, stopping at the
// first one whose length does not fit.
template <class F>
void ForEachAttribute(const unsigned char* at, size_t size, F f) {
  while (size >= sizeof(rtattr)) {
    rtattr a;
    std::memcpy(&a, at, sizeof a);
    if (a.rta_len < sizeof(rtattr) || a.rta_len > size) return;
    f(Attribute{a.rta_type, at + RTA_LENGTH(0), a.rta_len - RTA_LENGTH(0)});
    const size_t step = RTA_ALIGN(a.rta_len);
    if (step >= size) return;
    at += step;
    size -= step;
  }
}

enum class Outcome { kAnswered, kNoSuchObject, kFailed };

// Sends one request (a dump of every object, or a single object named in
// `body`) and hands every answering message of type `want` to `f` (its
// payload: fixed header, then attributes). Fails when the kernel cannot be
// asked, refuses, or answers with a malformed message.
template <class Header, class F>
Outcome Ask(int fd, uint32_t sequence, uint16_t request, const Header& body, bool dump, uint16_t want, F f) {
  if (fd < 0) return Outcome::kFailed;
  struct {
    nlmsghdr header;
    Header body;
  } message{};
  message.header.nlmsg_len = NLMSG_LENGTH(sizeof(Header));
  message.header.nlmsg_type = request;
  message.header.nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
  message.header.nlmsg_seq = sequence;
  message.body = body;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd, &message, message.header.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) <
      0) {
    return Outcome::kFailed;
  }
  alignas(nlmsghdr) static thread_local unsigned char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Outcome::kFailed;
    size_t left = static_cast<size_t>(n);
    const unsigned char* at = buffer;
    while (left >= sizeof(nlmsghdr)) {
      nlmsghdr h;
      std::memcpy(&h, at, sizeof h);
      if (h.nlmsg_len < sizeof(nlmsghdr) || h.nlmsg_len > left) return Outcome::kFailed;
      if (h.nlmsg_seq == message.header.nlmsg_seq) {
        if (h.nlmsg_type == NLMSG_DONE) return Outcome::kAnswered;
        if (h.nlmsg_type == NLMSG_ERROR) {
          nlmsgerr e{};
          if (h.nlmsg_len < NLMSG_LENGTH(sizeof e)) return Outcome::kFailed;
          std::memcpy(&e, at + NLMSG_HDRLEN, sizeof e);
          return e.error == -ENODEV ? Outcome::kNoSuchObject : Outcome::kFailed;
        }
        if (h.nlmsg_type == want) {
          if (h.nlmsg_len < NLMSG_LENGTH(sizeof(Header))) return Outcome::kFailed;
          Header fixed;
          std::memcpy(&fixed, at + NLMSG_HDRLEN, sizeof fixed);
          const size_t skip = NLMSG_LENGTH(NLMSG_ALIGN(sizeof(Header)));
          if (h.nlmsg_len >= skip) f(fixed, at + skip, h.nlmsg_len - skip);
          if (!dump) return Outcome::kAnswered;  // a single object is one message
        }
      }
      const size_t step = NLMSG_ALIGN(h.nlmsg_len);
      if (step >= left) break;
      at += step;
      left -= step;
    }
  }
}

}  // namespace

RouteNetlink::~RouteNetlink() { Reset(); }

int RouteNetlink::Socket() {
  if (fd_ < 0) fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  return fd_;
}

// After a failure the socket may still hold the rest of an answer: a new one
// starts clean.
void RouteNetlink::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<std::vector<NetLink>> RouteNetlink::Links(int32_t only) {
  std::vector<NetLink> out;
  ifinfomsg request{};
  request.ifi_family = AF_UNSPEC;
  request.ifi_index = only;
  const auto take = [&](const ifinfomsg& info, const unsigned char* attributes, size_t size) {
    if (info.ifi_index <= 0) return;
    NetLink link;
    link.index = info.ifi_index;
    link.type = info.ifi_type;
    ForEachAttribute(attributes, size, [&](const Attribute& a) {
      if (a.type == IFLA_IFNAME) {
        link.name.assign(reinterpret_cast<const char*>(a.data), strnlen(reinterpret_cast<const char*>(a.data), a.size));
      } else if (a.type == IFLA_ADDRESS) {
        link.hardware.assign(a.data, a.data + a.size);
      }
    });
    if (!link.name.empty() && (only == 0 || link.index == only)) out.push_back(std::move(link));
  };
  if (Ask(Socket(), ++sequence_, RTM_GETLINK, request, only == 0, RTM_NEWLINK, take) == Outcome::kFailed) {
    Reset();
    return std::nullopt;
  }
  return out;
}

std::optional<std::vector<NetAddress>> RouteNetlink::Addresses(int32_t only) {
  std::vector<NetAddress> out;
  ifaddrmsg request{};
  request.ifa_family = AF_UNSPEC;
  const auto take = [&](const ifaddrmsg& info, const unsigned char* attributes, size_t size) {
    const int family = info.ifa_family;
    const size_t length = family == AF_INET ? 4 : family == AF_INET6 ? 16 : 0;
    if (length == 0 || info.ifa_index == 0 || info.ifa_index > INT32_MAX) return;
    if (only != 0 && static_cast<int32_t>(info.ifa_index) != only) return;
    // IFA_LOCAL is the interface's own address; IFA_ADDRESS is the same
    // except on a point-to-point link, where it names the far end.
    const unsigned char* local = nullptr;
    const unsigned char* address = nullptr;
    ForEachAttribute(attributes, size, [&](const Attribute& a) {
      if (a.size != length) return;
      if (a.type == IFA_LOCAL) local = a.data;
      if (a.type == IFA_ADDRESS) address = a.data;
    });
    const unsigned char* own = local ? local : address;
    if (!own) return;
    unsigned char bytes[16];
    std::memcpy(bytes, own, length);
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(family, bytes, text, sizeof text)) return;
    out.push_back({static_cast<int32_t>(info.ifa_index), text});
  };
  if (Ask(Socket(), ++sequence_, RTM_GETADDR, request, true, RTM_NEWADDR, take) != Outcome::kAnswered) {
    Reset();
    return std::nullopt;
  }
  // The kernel answers family by family, in the order of their numbers: IPv4 first.
  return out;
}

}  // namespace brv::live
