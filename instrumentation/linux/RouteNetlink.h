#pragma once
// The machine's own network interfaces and addresses, asked of the kernel over
// a routing netlink socket: two dumps answer what otherwise takes four files
// per interface and three files in /proc/net, and they say exactly which
// interface owns each address. Only the running kernel can answer, so this
// serves the real root; a captured tree is read from its files.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brv::live {

struct NetLink {
  int32_t index = 0;
  std::string name;
  uint16_t type = 0;                    // the link type (ARPHRD_*)
  std::vector<unsigned char> hardware;  // the link-layer address, as long as the link type makes it
};

struct NetAddress {
  int32_t index = 0;  // of the interface that holds it
  std::string text;   // in the usual notation of its family
};

// One conversation with the kernel, opened at the first question and kept for
// the next ones (a failed one starts afresh). Not to be shared between threads.
class RouteNetlink {
 public:
  RouteNetlink() = default;
  ~RouteNetlink();
  RouteNetlink(const RouteNetlink&) = delete;
  RouteNetlink& operator=(const RouteNetlink&) = delete;

  // Every interface in the kernel's order, or with `only` the one of that
  // index (none when there is no such interface); nothing when the kernel
  // cannot be asked (no netlink in this sandbox) or answers something this
  // reader does not understand.
  std::optional<std::vector<NetLink>> Links(int32_t only = 0);
  // Every local address (or those of interface `only`), the IPv4 ones first,
  // each family in the kernel's order (an interface's primary address before
  // its secondary ones); nothing as above.
  std::optional<std::vector<NetAddress>> Addresses(int32_t only = 0);

 private:
  // The socket, opened when first needed; -1 when closed.
  int Socket();
  void Reset();

  int fd_ = -1;
  uint32_t sequence_ = 0;
};

}  // namespace brv::live
