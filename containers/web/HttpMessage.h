#pragma once
// HTTP/1.1 messages as the web container reads and writes them. Requests are
// read by a strict, incremental parser that bounds every part before keeping
// it: the head (request line and header fields), the body whether it comes with
// a Content-Length or chunked, the chunk lines and the trailer. Anything it does
// not understand exactly is refused with a status and a short message, so no
// two readers (a proxy and this server, say) can take the same bytes for
// different requests.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brv::web {

// The largest request body taken, however it is sent.
inline constexpr size_t kMaxBody = 64 * 1024;
// The largest request head: the request line and every header field together.
inline constexpr size_t kMaxHead = 8 * 1024;

struct Request {
  std::string method;
  std::string target;    // as sent: a path and perhaps a query
  std::string path;      // the target without its query
  int minorVersion = 1;  // HTTP/1.x
  // Header fields in arrival order, names in lower case, values without the
  // surrounding blanks.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool keepAlive = true;  // false after "Connection: close", and for HTTP/1.0

  // The value of the first field of that (lower case) name, or null.
  const std::string* Header(std::string_view name) const;
};

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

class RequestParser {
 public:
  enum class State { NeedMore, Complete, Refused };

  // Takes from the front of `input` what belongs to the request being read and
  // removes it; what follows a complete request stays in `input` for the next.
  State Feed(std::string_view& input);

  // After Complete: the request. After Refused: the status and message.
  Request& request() { return request_; }
  int status() const { return status_; }
  const std::string& message() const { return message_; }

  // Whether any byte of a request has been taken.
  bool Started() const { return state_ != Phase::Head || !head_.empty(); }
  // True once the head asks "Expect: 100-continue" and a body is still to come.
  bool WantsContinue() const {
    return expectContinue_ && (state_ == Phase::Body || state_ == Phase::ChunkSize) && request_.body.empty();
  }

  // Ready for the next request.
  void Reset();

 private:
  enum class Phase { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, Done, Refused };

  State Refuse(int status, std::string message);
  State ParseHead();
  // Takes bytes of a line ending in CRLF into line_, at most `limit` bytes;
  // true once the line is whole (line_ holds it without its CRLF).
  std::optional<bool> TakeLine(std::string_view& input, size_t limit);

  Phase state_ = Phase::Head;
  std::string head_;
  std::string line_;
  size_t remaining_ = 0;  // of the body, or of the chunk being read
  size_t trailer_ = 0;    // bytes of trailer read
  bool expectContinue_ = false;
  Request request_;
  int status_ = 0;
  std::string message_;
};

// An answer. The security headers every answer carries, Content-Length and
// Connection are added when it is written out.
struct Response {
  int status = 200;
  std::string type;  // Content-Type, or empty with no body
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;  // close the connection once written
};

// The standard reason phrase of a status.
const char* Reason(int status);

// The bytes of an answer: without the body when it answers HEAD, and saying
// "Connection: close" when `close`.
std::string Serialize(const Response& response, bool head, bool close);

// A refusal's answer: {"status": N, "error": REASON, "message": TEXT} as JSON.
Response Refusal(int status, const std::string& message);

}  // namespace brv::web
