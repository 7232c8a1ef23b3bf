#include "containers/web/Site.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string_view>
#include <variant>

#include "common/Category.h"
#include "common/Text.h"
#include "containers/common/DetailLines.h"
#include "containers/common/GridJson.h"
#include "containers/web/PageAssets.h"

namespace brv::web {
namespace {

using json = nlohmann::ordered_json;

struct Route {
  std::string_view path;
  std::string_view method;  // GET routes answer HEAD too
};

constexpr Route kRoutes[] = {
    {"/", "GET"},          {"/app.js", "GET"},    {"/app.css", "GET"},      {"/favicon.svg", "GET"},
    {"/api/state", "GET"}, {"/api/call", "POST"}, {"/api/baseline", "GET"}, {"/api/details", "GET"},
};

const Route* FindRoute(std::string_view path) {
  for (const Route& r : kRoutes) {
    if (r.path == path) return &r;
  }
  return nullptr;
}

struct Asset {
  std::string_view path, body;
  const char* type;
};

// The document is filled with the texts when the site starts.
const Asset kAssets[] = {
    {"/app.js", kPageScript, "text/javascript; charset=utf-8"},
    {"/app.css", kPageStyle, "text/css; charset=utf-8"},
    {"/favicon.svg", kPageIcon, "image/svg+xml"},
};

// The media type of a Content-Type value, without parameters, in lower case.
std::string MediaType(std::string_view value) { return LowerAscii(Trim(value.substr(0, value.find(';')), " \t")); }

// A path as quoted in a message: long ones are cut short.
std::string Quoted(const std::string& path) { return path.size() <= 80 ? path : path.substr(0, 80) + "..."; }

Response Json(std::string body) {
  Response response;
  response.type = "application/json";
  response.headers = {{"Cache-Control", "no-store"}};
  response.body = std::move(body);
  return response;
}

// A name or address as given on the command line (an IPv6 address with or
// without brackets, no port), or nothing when it is neither.
std::optional<HostPort> HostOf(std::string_view text) {
  const bool bareIpv6 = text.find(':') != std::string_view::npos && !text.starts_with("[");
  auto host = ParseHost(bareIpv6 ? "[" + std::string(text) + "]" : std::string(text));
  if (!host || host->port) return std::nullopt;
  return host;
}

// The value of the query's argument `name`, or nullopt when it is missing or
// given more than once.
std::optional<std::string> Argument(const Request& request, std::string_view name) {
  std::optional<std::string> value;
  for (const auto& [n, v] : request.query) {
    if (n != name) continue;
    if (value) return std::nullopt;
    value = v;
  }
  return value;
}

// The category and instance GET /api/details names, or the refusal of a query
// that names none.
std::variant<std::pair<Category, int>, Response> DetailsAsked(const Request& request) {
  const auto name = Argument(request, "category");
  const auto instance = Argument(request, "instance");
  if (!name || !instance) {
    return Refusal(400, "Name one category and one instance: /api/details?category=NAME&instance=N.");
  }
  const auto category = CategoryNamed(*name);
  if (!category) return Refusal(404, "There is no category " + Quoted(*name) + ".");
  const auto index = instance->size() <= 5 && AllDigits(*instance) ? ParseInteger<int>(*instance) : std::nullopt;
  if (!index || *index < 1 || *index > 32767) return Refusal(400, "The instance is a number from 1 to 32767.");
  return std::pair(*category, *index);
}

bool IsWildcard(const std::string& bind) { return bind == "0.0.0.0" || bind == "::" || bind == "[::]"; }

}  // namespace

const std::pair<const char*, const char*> kSecurityHeaders[5] = {
    {"X-Content-Type-Options", "nosniff"},
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
     "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
};

const std::string* Request::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (n == name) return &v;
  }
  return nullptr;
}

Response Refusal(int status, const std::string& message) {
  const char* reason = MHD_get_reason_phrase_for(static_cast<unsigned>(status));
  Response response;
  response.status = status;
  response.type = "application/json";
  response.headers = {{"Cache-Control", "no-store"}};
  response.body = DumpJson(json{{"status", status}, {"error", reason}, {"message", message}});
  return response;
}

std::optional<HostPort> ParseHost(std::string_view value) {
  HostPort out;
  std::string_view rest;
  if (!value.empty() && value.front() == '[') {
    const size_t close = value.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string inside(value.substr(1, close - 1));
    in6_addr address{};
    if (inet_pton(AF_INET6, inside.c_str(), &address) != 1) return std::nullopt;
    char text[INET6_ADDRSTRLEN];
    out.host = inet_ntop(AF_INET6, &address, text, sizeof text);
    out.address = true;
    rest = value.substr(close + 1);
  } else {
    const size_t colon = value.find(':');
    const std::string_view name = value.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : value.substr(colon);
    if (name.empty() || name.size() > 253) return std::nullopt;
    const bool allowed = std::all_of(
        name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '-' || c == '.' || c == '_'; });
    if (!allowed) return std::nullopt;
    // All digits and dots: an IPv4 address, written in full ("127.1" is none).
    if (name.find_first_not_of("0123456789.") == std::string_view::npos) {
      in_addr address{};
      if (inet_pton(AF_INET, std::string(name).c_str(), &address) != 1) return std::nullopt;
      char text[INET_ADDRSTRLEN];
      out.host = inet_ntop(AF_INET, &address, text, sizeof text);
      out.address = true;
    } else {
      out.host = LowerAscii(name);
    }
  }
  if (!rest.empty()) {
    if (rest.front() != ':') return std::nullopt;
    rest.remove_prefix(1);
    if (rest.empty() || rest.size() > 5 || !AllDigits(rest)) return std::nullopt;
    const unsigned long port = std::stoul(std::string(rest));
    if (port > 65535) return std::nullopt;
    out.port = static_cast<unsigned>(port);
  }
  return out;
}

bool IsLoopback(const HostPort& host) {
  if (!host.address) return host.host == "localhost";
  if (host.host == "::1") return true;
  in_addr address{};
  return inet_pton(AF_INET, host.host.c_str(), &address) == 1 && ntohl(address.s_addr) >> 24 == 127;
}

HostPolicy::HostPolicy(const std::string& bind, const std::vector<std::string>& extra,
                       const std::vector<std::string>& machine) {
  const auto bound = HostOf(bind);
  loopbackOnly_ = bound && IsLoopback(*bound);
  if (!loopbackOnly_) {
    if (bound && !IsWildcard(bind)) allowed_.push_back(bound->host);
    for (const auto& name : machine) {
      if (auto host = HostOf(name)) allowed_.push_back(host->host);
    }
  }
  for (const auto& name : extra) {
    const auto host = HostOf(name);
    if (!host) throw std::invalid_argument(name + " is no host name or address");
    allowed_.push_back(host->host);
  }
}

HostPolicy HostPolicy::ForThisMachine(const std::string& bind, const std::vector<std::string>& extra) {
  std::vector<std::string> machine;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0 && name[0]) machine.emplace_back(name);
  ifaddrs* list = nullptr;
  if (IsWildcard(bind) && getifaddrs(&list) == 0) {
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
      if (!i->ifa_addr) continue;
      char text[INET6_ADDRSTRLEN] = {};
      if (i->ifa_addr->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
      } else if (i->ifa_addr->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr, text, sizeof text);
      }
      if (text[0]) machine.emplace_back(text);
    }
    freeifaddrs(list);
  }
  return HostPolicy(bind, extra, machine);
}

bool HostPolicy::Allows(const HostPort& host) const {
  if (IsLoopback(host)) return true;
  return std::find(allowed_.begin(), allowed_.end(), host.host) != allowed_.end();
}

Site::Site(HostPolicy policy, std::shared_ptr<Baseline> baseline)
    : policy_(std::move(policy)),
      texts_(LoadPageTexts()),
      page_(FillPage(kPageHtml, texts_)),
      baseline_(std::move(baseline)) {}

nlohmann::ordered_json Site::PageState(ScriptSession& session) const {
  json state = control_.Startup();
  state["currentGrid"] = GridToJson(session.control().MSHFlexGrid1().State());
  json& categories = state["categories"] = json::array();
  for (const std::string_view name : kCategoryNames) categories.push_back(name);
  if (const auto& shown = session.selection()) {
    state["selection"] = json{{"category", shown->category}, {"index", shown->index}, {"count", shown->count}};
  } else {
    state["selection"] = nullptr;
  }
  state["baseline"] = baseline_ != nullptr;
  state["language"] = texts_.language;
  json& texts = state["texts"] = json::object();
  for (const auto& [name, text] : texts_.texts) texts[name] = text;
  return state;
}

Response Site::Details(ScriptSession& session, Category category, int index) {
  const std::string name(NameOf(category));
  const auto& shown = session.selection();
  if (!shown || shown->category != name) {
    return Refusal(409, "The grid does not show " + name + " now: choose it first.");
  }
  if (index > session.control().Instances(category)) {
    return Refusal(404, name + " has no instance " + std::to_string(index) + ".");
  }
  json details = json::array();
  for (const DetailLine& line : DetailLines(category, index)) {
    details.push_back({{"caption", line.caption}, {"value", line.value ? json(*line.value) : json(nullptr)}});
  }
  return Json(DumpJson(json{{"category", name}, {"instance", index}, {"details", std::move(details)}}));
}

// A Host naming another site, unknown paths and methods a path does not take
// are refused before anything else is looked at.
std::optional<Response> Site::Admit(const Request& request) const {
  const auto refuse = [](int status, const std::string& message) {
    Response r = Refusal(status, message);
    r.close = true;
    return r;
  };
  const size_t hosts = std::count_if(request.headers.begin(), request.headers.end(),
                                     [](const auto& field) { return field.first == "host"; });
  if (hosts > 1) return refuse(400, "The request has more than one Host field.");
  if (const std::string* value = request.Header("host")) {
    const auto host = ParseHost(*value);
    if (!host) return refuse(400, "The Host field is not a host name or address with a port.");
    if (!policy_.Allows(*host)) return refuse(403, "This server answers only requests addressed to this machine.");
  }
  const Route* route = FindRoute(request.path);
  if (!route) return refuse(404, "There is nothing at " + Quoted(request.path) + ".");
  const bool allowed = request.method == route->method || (route->method == "GET" && request.method == "HEAD");
  if (!allowed) {
    Response r = Refusal(405, Quoted(request.path) + " takes " + std::string(route->method) + " only.");
    r.headers.emplace_back("Allow", route->method == "GET" ? "GET, HEAD" : std::string(route->method));
    r.close = true;
    return r;
  }
  return std::nullopt;
}

void Site::Handle(const Request& request, const std::function<void(Response)>& reply) {
  if (auto refusal = Admit(request)) return reply(std::move(*refusal));
  if (request.path == "/") {
    Response r;
    r.type = "text/html; charset=utf-8";
    r.headers = {{"Cache-Control", "no-cache"}};
    r.body = page_;
    return reply(std::move(r));
  }
  for (const Asset& asset : kAssets) {
    if (asset.path != request.path) continue;
    Response r;
    r.type = asset.type;
    r.headers = {{"Cache-Control", "no-cache"}};
    r.body = asset.body;
    return reply(std::move(r));
  }
  if (request.path == "/api/baseline") {
    if (!baseline_) return reply(Refusal(404, "There is no baseline: the server was started without --baseline."));
    try {
      baseline_->Compare([reply](const json& answer, const std::string& text) {
        if (answer.contains("failed"))
          return reply(Refusal(500, "The server failed: " + answer["failed"].get<std::string>()));
        reply(Json(text));
      });
    } catch (const std::exception& e) {
      reply(Refusal(503, std::string("The server is closing: ") + e.what()));
    }
    return;
  }
  std::function<void(ScriptSession&)> task;
  if (request.path == "/api/state") {
    task = [this, reply](ScriptSession& session) { reply(Json(DumpJson(PageState(session)))); };
  } else if (request.path == "/api/details") {
    auto asked = DetailsAsked(request);
    if (auto* refusal = std::get_if<Response>(&asked)) return reply(std::move(*refusal));
    task = [reply, asked = std::get<0>(asked)](ScriptSession& session) {
      reply(Details(session, asked.first, asked.second));
    };
  } else {
    const std::string* type = request.Header("content-type");
    if (!type || MediaType(*type) != "application/json") {
      return reply(Refusal(415, "Send the request line as application/json."));
    }
    if (const std::string* coding = request.Header("content-encoding"); coding && MediaType(*coding) != "identity") {
      return reply(Refusal(415, "Send the request line without a content coding."));
    }
    task = [reply, line = request.body](ScriptSession& session) { reply(Json(DumpJson(session.Handle(line)))); };
  }
  // The control runs the task later; a failure there is answered too.
  control_.Post([task = std::move(task), reply](ScriptSession& session) {
    try {
      task(session);
    } catch (const std::exception& e) {
      reply(Refusal(500, std::string("The server failed: ") + e.what()));
    } catch (...) {
      reply(Refusal(500, "The server failed."));
    }
  });
}

}  // namespace brv::web
