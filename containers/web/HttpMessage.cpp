#include "containers/web/HttpMessage.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "containers/web/ContainerThread.h"

namespace brv::web {
namespace {

// The characters of a token: a method or a header field's name.
bool IsTokenChar(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return IsTokenChar(c); });
}

// Blanks around a field's value or its elements.
constexpr std::string_view kBlanks = " \t";

// The comma-separated elements of a field's value, trimmed, in lower case.
std::vector<std::string> Elements(std::string_view value) {
  std::vector<std::string> out;
  while (true) {
    const size_t comma = value.find(',');
    out.push_back(LowerAscii(Trim(value.substr(0, comma), kBlanks)));
    if (comma == std::string_view::npos) return out;
    value.remove_prefix(comma + 1);
  }
}

// A decimal number of at most 18 digits after leading zeros; larger ones are
// "too large" (nullopt), which is more than any body taken.
std::optional<size_t> Decimal(std::string_view digits) {
  while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 18) return std::nullopt;
  size_t value = 0;
  for (char c : digits) value = value * 10 + static_cast<size_t>(c - '0');
  return value;
}

constexpr std::pair<const char*, const char*> kSecurityHeaders[] = {
    {"X-Content-Type-Options", "nosniff"},
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
     "base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"Referrer-Policy", "no-referrer"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
};

}  // namespace

const std::string* Request::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (n == name) return &v;
  }
  return nullptr;
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
    if (!AllDigits(rest) || rest.size() > 5) return std::nullopt;
    const size_t port = *Decimal(rest);
    if (port > 65535) return std::nullopt;
    out.port = static_cast<unsigned>(port);
  }
  return out;
}

void RequestParser::Reset() {
  state_ = Phase::Head;
  head_.clear();
  line_.clear();
  remaining_ = trailer_ = 0;
  expectContinue_ = false;
  request_ = Request{};
  status_ = 0;
  message_.clear();
}

RequestParser::State RequestParser::Refuse(int status, std::string message) {
  state_ = Phase::Refused;
  status_ = status;
  message_ = std::move(message);
  return State::Refused;
}

std::optional<bool> RequestParser::TakeLine(std::string_view& input, size_t limit) {
  while (!input.empty()) {
    const char c = input.front();
    input.remove_prefix(1);
    if (c == '\n') {
      if (line_.empty() || line_.back() != '\r') return std::nullopt;
      line_.pop_back();
      return true;
    }
    if (line_.size() + 2 > limit) return std::nullopt;
    line_ += c;
  }
  return false;
}

RequestParser::State RequestParser::Feed(std::string_view& input) {
  while (true) {
    switch (state_) {
      case Phase::Head: {
        // Empty lines before a request are passed over.
        while (head_.empty() && input.starts_with("\r\n")) input.remove_prefix(2);
        if (input.empty()) return State::NeedMore;
        const size_t old = head_.size();
        const size_t take = std::min(input.size(), kMaxHead - old);
        head_.append(input.substr(0, take));
        size_t end = 0;
        for (size_t i = old; i < head_.size() && !end; ++i) {
          if (head_[i] != '\n') continue;
          if (i == 0 || head_[i - 1] != '\r') return Refuse(400, "Every line of a request must end in CR LF.");
          if (i >= 3 && head_.compare(i - 3, 4, "\r\n\r\n") == 0) end = i + 1;
        }
        if (!end) {
          input.remove_prefix(take);
          if (head_.size() < kMaxHead) return State::NeedMore;
          if (head_.find("\r\n") == std::string::npos) return Refuse(414, "The request line is too long.");
          return Refuse(431, "The request's header fields take more than " + std::to_string(kMaxHead) + " bytes.");
        }
        input.remove_prefix(end - old);
        head_.resize(end);
        if (head_.find_first_not_of("\r\n") == std::string::npos) {
          head_.clear();  // empty lines, split across reads
          break;
        }
        if (const State s = ParseHead(); s == State::Refused) return s;
        break;
      }
      case Phase::Body:
      case Phase::ChunkData: {
        // A body of known length and one chunk of a chunked body read alike.
        const size_t take = std::min(remaining_, input.size());
        request_.body.append(input.substr(0, take));
        input.remove_prefix(take);
        remaining_ -= take;
        if (remaining_) return State::NeedMore;
        state_ = state_ == Phase::Body ? Phase::Done : Phase::ChunkEnd;
        break;
      }
      case Phase::ChunkSize: {
        const auto whole = TakeLine(input, 256);
        if (!whole) return Refuse(400, "A chunk's size line is malformed.");
        if (!*whole) return State::NeedMore;
        std::string_view size = line_;
        size = size.substr(0, size.find(';'));
        if (size.empty() || size.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
          return Refuse(400, "A chunk's size is not a hexadecimal number.");
        }
        if (line_.find_first_of(std::string_view("\r\0\x7f", 3)) != std::string::npos) {
          return Refuse(400, "A chunk's size line holds control characters.");
        }
        while (size.size() > 1 && size.front() == '0') size.remove_prefix(1);
        size_t value = 0;
        for (char c : size) {
          value = value * 16 +
                  static_cast<size_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
          if (value > kMaxBody) break;
        }
        line_.clear();
        if (value > kMaxBody - request_.body.size()) {
          return Refuse(413, "A request body may hold at most " + std::to_string(kMaxBody) + " bytes.");
        }
        if (value == 0) {
          state_ = Phase::Trailer;
        } else {
          remaining_ = value;
          state_ = Phase::ChunkData;
        }
        break;
      }
      case Phase::ChunkEnd: {
        const auto whole = TakeLine(input, 2);
        if (!whole) return Refuse(400, "A chunk does not end in CR LF.");
        if (!*whole) return State::NeedMore;
        state_ = Phase::ChunkSize;
        break;
      }
      case Phase::Trailer: {
        const auto whole = TakeLine(input, kMaxHead - trailer_);
        if (!whole) return Refuse(431, "The request's trailer is malformed or too long.");
        if (!*whole) return State::NeedMore;
        trailer_ += line_.size() + 2;
        const bool last = line_.empty();
        line_.clear();
        if (last) state_ = Phase::Done;
        break;
      }
      case Phase::Done: return State::Complete;
      case Phase::Refused: return State::Refused;
    }
  }
}

RequestParser::State RequestParser::ParseHead() {
  // The head ends in CR LF CR LF and holds more than empty lines (Feed passes
  // those over), so what the leading empty lines leave ends in CR LF CR LF too.
  std::string_view head = head_;
  while (head.starts_with("\r\n")) head.remove_prefix(2);
  head.remove_suffix(2);  // each line now ends in CR LF
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    const size_t end = head.find("\r\n");
    if (end == std::string_view::npos) return Refuse(400, "A request holds a CR outside a line end.");
    lines.push_back(head.substr(0, end));
    head.remove_prefix(end + 2);
  }
  if (lines.empty()) return Refuse(400, "The request has no request line.");
  for (std::string_view line : lines) {
    if (line.find('\r') != std::string_view::npos) return Refuse(400, "A request holds a CR outside a line end.");
  }

  // method SP target SP version, one space apart.
  const std::string_view first = lines.front();
  const size_t sp1 = first.find(' ');
  const size_t sp2 = sp1 == std::string_view::npos ? sp1 : first.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || first.find(' ', sp2 + 1) != std::string_view::npos) {
    return Refuse(400, "The request line is not METHOD TARGET VERSION.");
  }
  const std::string_view method = first.substr(0, sp1), target = first.substr(sp1 + 1, sp2 - sp1 - 1),
                         version = first.substr(sp2 + 1);
  if (!IsToken(method) || method.size() > 32) return Refuse(400, "The request's method is not a token.");
  if (target.empty() || target.front() != '/' ||
      !std::all_of(target.begin(), target.end(), [](unsigned char c) { return c > 0x20 && c < 0x7f; })) {
    return Refuse(400, "The request's target is not a path.");
  }
  if (version == "HTTP/1.1") {
    request_.minorVersion = 1;
  } else if (version == "HTTP/1.0") {
    request_.minorVersion = 0;
  } else if (version.size() == 8 && version.starts_with("HTTP/") &&
             std::isdigit(static_cast<unsigned char>(version[5])) && version[6] == '.' &&
             std::isdigit(static_cast<unsigned char>(version[7]))) {
    return Refuse(505, "This server speaks HTTP/1.1 and HTTP/1.0 only.");
  } else {
    return Refuse(400, "The request's version is not HTTP/1.x.");
  }
  request_.method = method;
  request_.target = target;
  request_.path = std::string(target.substr(0, target.find('?')));

  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.front() == ' ' || line.front() == '\t') return Refuse(400, "A header field is folded over two lines.");
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      return Refuse(400, "A header field is not NAME: VALUE.");
    }
    const std::string_view value = Trim(line.substr(colon + 1), kBlanks);
    const bool control =
        std::any_of(value.begin(), value.end(), [](unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; });
    if (control) return Refuse(400, "A header field's value holds control characters.");
    if (request_.headers.size() == 100) return Refuse(431, "The request has more than 100 header fields.");
    request_.headers.emplace_back(LowerAscii(line.substr(0, colon)), std::string(value));
  }

  size_t hosts = 0, lengths = 0, encodings = 0;
  std::optional<size_t> length;  // nullopt: too large
  std::string codings;
  for (const auto& [name, value] : request_.headers) {
    if (name == "host") {
      if (++hosts > 1) return Refuse(400, "The request has more than one Host field.");
      if (!ParseHost(value)) return Refuse(400, "The Host field is not a host name or address with a port.");
    } else if (name == "content-length") {
      if (!AllDigits(value)) return Refuse(400, "The Content-Length field is not a decimal number.");
      const auto n = Decimal(value);
      if (lengths++ && n != length) return Refuse(400, "The request has Content-Length fields that differ.");
      length = n;
    } else if (name == "transfer-encoding") {
      codings += (encodings++ ? "," : "") + value;
    } else if (name == "connection") {
      for (const auto& option : Elements(value)) {
        if (option == "close") request_.keepAlive = false;
      }
    } else if (name == "expect") {
      if (LowerAscii(value) != "100-continue") return Refuse(417, "The only expectation met is 100-continue.");
      expectContinue_ = true;
    }
  }
  if (request_.minorVersion == 1 && hosts == 0) return Refuse(400, "An HTTP/1.1 request needs a Host field.");
  if (request_.minorVersion == 0) request_.keepAlive = false;

  if (encodings) {
    if (request_.minorVersion == 0) return Refuse(400, "An HTTP/1.0 request cannot be sent chunked.");
    if (lengths) return Refuse(400, "The request has both Content-Length and Transfer-Encoding.");
    if (Elements(codings) != std::vector<std::string>{"chunked"}) {
      return Refuse(501, "The only transfer coding taken is chunked.");
    }
    state_ = Phase::ChunkSize;
    return State::NeedMore;
  }
  if (lengths && (!length || *length > kMaxBody)) {
    return Refuse(413, "A request body may hold at most " + std::to_string(kMaxBody) + " bytes.");
  }
  remaining_ = length.value_or(0);
  state_ = remaining_ ? Phase::Body : Phase::Done;
  if (remaining_) request_.body.reserve(remaining_);
  return State::NeedMore;
}

const char* Reason(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 415: return "Unsupported Media Type";
    case 417: return "Expectation Failed";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return status < 500 ? "Client Error" : "Server Error";
  }
}

std::string Serialize(const Response& response, bool head, bool close) {
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
  for (const auto& [name, value] : kSecurityHeaders) out.append(name).append(": ").append(value).append("\r\n");
  if (!response.type.empty()) out.append("Content-Type: ").append(response.type).append("\r\n");
  for (const auto& [name, value] : response.headers) out.append(name).append(": ").append(value).append("\r\n");
  out.append("Content-Length: ").append(std::to_string(response.body.size())).append("\r\n");
  if (close) out.append("Connection: close\r\n");
  out.append("\r\n");
  if (!head) out.append(response.body);
  return out;
}

Response Refusal(int status, const std::string& message) {
  Response response;
  response.status = status;
  response.type = "application/json";
  response.headers = {{"Cache-Control", "no-store"}};
  response.body = DumpJson(nlohmann::ordered_json{{"status", status}, {"error", Reason(status)}, {"message", message}});
  return response;
}

}  // namespace brv::web
