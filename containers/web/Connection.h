#pragma once
// One client connection's side of HTTP/1.1, apart from its socket: the bytes
// read go in, requests come out one at a time for the site to answer, and the
// answers' bytes wait to be sent, in the order the requests came. Pipelined
// requests are taken one after another: the next is read only once the one in
// hand is answered, so a connection never holds more than one request's bytes
// (and one read's worth beyond it).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "containers/web/HttpMessage.h"

namespace brv::web {

class Connection {
 public:
  // Bytes read from the client. Only call while WantsInput().
  void Received(std::string_view bytes) { pending_.append(bytes); }

  // The next complete request, if one is ready and none is in hand: hand it to
  // the site and give its answer to Answered(). A request the parser refuses
  // is answered here, and the connection closes after it.
  std::optional<Request> Next();

  // The answer to the request in hand.
  void Answered(const Response& response);

  // The client took too long to send its request: a 408 if part of one came,
  // and the connection closes.
  void TimedOut();

  // Bytes waiting to be sent; the owner erases what it sent.
  std::string& Output() { return output_; }

  // Whether to read from the client now: no request in hand, nothing unread,
  // not closing, and the answers not yet sent are few.
  bool WantsInput() const { return !busy_ && !closing_ && pending_.empty() && output_.size() < kMaxOutput; }
  // Bytes read and not yet taken: pipelined requests waiting their turn.
  bool Unread() const { return !pending_.empty(); }
  // A request is with the site.
  bool Busy() const { return busy_; }
  // Part of a request has come.
  bool MidRequest() const { return !busy_ && (!pending_.empty() || parser_.Started()); }
  // No more requests are taken; close once the output is sent.
  bool Closing() const { return closing_; }

  // Above this many unsent bytes, no further request is taken.
  static constexpr size_t kMaxOutput = 32 * 1024;

 private:
  RequestParser parser_;
  std::string pending_;  // read, not yet parsed
  std::string output_;
  bool busy_ = false;
  bool head_ = false;  // the request in hand is a HEAD
  bool keepAlive_ = true;
  bool closing_ = false;
  bool continued_ = false;  // "100 Continue" sent for the request being read
};

}  // namespace brv::web
