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
//
// with short JSON refusals for the rest. One control serves every client: it
// lives on a thread of its own and runs the calls one at a time, in the order
// they arrive.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "containers/web/Baseline.h"
#include "containers/web/ContainerThread.h"
#include "containers/web/HttpMessage.h"
#include "containers/web/PageTexts.h"

namespace brv::web {

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

  HostPolicy policy_;
  PageTexts texts_;
  std::string page_;  // the document, its texts filled in
  std::shared_ptr<Baseline> baseline_;
  ContainerThread control_;
};

}  // namespace brv::web
