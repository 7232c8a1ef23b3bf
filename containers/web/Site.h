#pragma once
// What `brvparts serve` answers, apart from how bytes reach it: the page, its
// script, style and icon, and the control's script mode as an API,
//
//   GET  /api/state  the control's start-up line, plus "currentGrid": the grid now,
//                    "categories": the names in the control's order, "selection":
//                    what the grid shows ({"category", "index", "count"} or null),
//                    "baseline": whether GET /api/baseline has one to compare
//                    with, "language" and "texts": the page's own texts
//   POST /api/call   one request line (application/json) -> its answer line
//   GET  /api/baseline  the inventory now compared with the baseline snapshot
//                    (see Baseline.h); 404 when the server has none
//   GET  /api/details?category=NAME&instance=N  the details of an instance of the
//                    category the grid shows: {"category", "instance", "details":
//                    [{"caption", "value"}, ...]}, captions and values as the
//                    terminal writes them, in the server's language, the value
//                    null where the machine does not tell it
//
// with short JSON refusals for the rest. One control serves every client: it
// lives on a thread of its own and runs the calls one at a time, in the order
// they arrive.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Category.h"
#include "containers/web/Baseline.h"
#include "containers/web/ContainerThread.h"
#include "containers/web/PageTexts.h"

namespace brv::web {

// The largest request body taken, however it is sent.
inline constexpr size_t kMaxBody = 64 * 1024;

// A request as the HTTP library read it.
struct Request {
  std::string method;
  std::string path;  // the target without its query, not unescaped
  // The query's arguments in arrival order, unescaped ("a" alone has an empty value).
  std::vector<std::pair<std::string, std::string>> query;
  // Header fields in arrival order, names in lower case.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The value of the first field of that (lower case) name, or null.
  const std::string* Header(std::string_view name) const;
};

// An answer. The security headers every answer carries are added when it is
// handed to the library.
struct Response {
  int status = 200;
  std::string type;  // Content-Type, or empty with no body
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;  // close the connection once written
};

// The headers every answer of ours carries.
extern const std::pair<const char*, const char*> kSecurityHeaders[5];

// A refusal's answer: {"status": N, "error": REASON, "message": TEXT} as JSON.
Response Refusal(int status, const std::string& message);

// A Host field's value taken apart: the name or address, and the port if given.
// Names are in lower case; an IPv6 address is without its brackets and both
// kinds of address are written the one way inet_ntop writes them.
struct HostPort {
  std::string host;
  bool address = false;  // an IPv4 or IPv6 address rather than a name
  std::optional<unsigned> port;
};

// Parses `value` as host [":" port]: a name of letters, digits, '-', '.' and
// '_'; a dotted IPv4 address; or an IPv6 address in brackets. A port is one to
// five digits, at most 65535. Anything else (user info, text after a bracket,
// an empty or lettered port) is no host.
std::optional<HostPort> ParseHost(std::string_view value);

// The Host values a server answers: a page from another site that a name was
// pointed at this machine for (DNS rebinding) names that site, and is refused.
class HostPolicy {
 public:
  // Serving a loopback address: the loopback names and addresses ("localhost",
  // 127.0.0.0/8, ::1). Serving another one: those, the address itself, and
  // `machine`, this machine's own names and addresses. Either way also `extra`,
  // the names and addresses the user allowed. Throws std::invalid_argument for
  // an entry of `extra` that is no name or address.
  HostPolicy(const std::string& bind, const std::vector<std::string>& extra, const std::vector<std::string>& machine);

  // The policy for serving `bind` on this machine: its host name, and for a
  // wildcard bind (0.0.0.0, ::) the addresses of its interfaces.
  static HostPolicy ForThisMachine(const std::string& bind, const std::vector<std::string>& extra);

  bool Allows(const HostPort& host) const;

 private:
  bool loopbackOnly_;
  std::vector<std::string> allowed_;  // as ParseHost writes them
};

// Whether `host` names this machine's loopback interface.
bool IsLoopback(const HostPort& host);

class Site {
 public:
  // Starts the control; throws what creating it threw. The page's texts are in
  // the server's language, chosen as the control chooses its own. `baseline`,
  // when given, answers GET /api/baseline.
  explicit Site(HostPolicy policy, std::shared_ptr<Baseline> baseline = nullptr);

  // Answers one request: the page and refusals at once, on the calling thread;
  // the API's answers on the control's thread once the control has run the call.
  void Handle(const Request& request, const std::function<void(Response)>& reply);

 private:
  std::optional<Response> Admit(const Request& request) const;
  // The answer of GET /api/state; on the control's thread.
  nlohmann::ordered_json PageState(ScriptSession& session) const;
  // The answer of GET /api/details; on the control's thread.
  static Response Details(ScriptSession& session, Category category, int index);

  HostPolicy policy_;
  PageTexts texts_;
  std::string page_;  // the document, its texts filled in
  std::shared_ptr<Baseline> baseline_;
  ContainerThread control_;
};

}  // namespace brv::web
