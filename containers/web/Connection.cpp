#include "containers/web/Connection.h"

namespace brv::web {

std::optional<Request> Connection::Next() {
  if (busy_ || closing_ || output_.size() >= kMaxOutput) return std::nullopt;
  std::string_view input = pending_;
  const auto state = parser_.Feed(input);
  pending_.erase(0, pending_.size() - input.size());
  switch (state) {
    case RequestParser::State::NeedMore:
      if (parser_.WantsContinue() && !continued_) {
        output_ += "HTTP/1.1 100 Continue\r\n\r\n";
        continued_ = true;
      }
      return std::nullopt;
    case RequestParser::State::Refused:
      // What follows a malformed request cannot be told apart from it.
      output_ += Serialize(Refusal(parser_.status(), parser_.message()), false, true);
      closing_ = true;
      pending_.clear();
      return std::nullopt;
    case RequestParser::State::Complete: break;
  }
  Request request = std::move(parser_.request());
  parser_.Reset();
  continued_ = false;
  busy_ = true;
  head_ = request.method == "HEAD";
  keepAlive_ = request.keepAlive;
  return request;
}

void Connection::Answered(const Response& response) {
  if (!busy_) return;
  busy_ = false;
  const bool close = response.close || !keepAlive_;
  output_ += Serialize(response, head_, close);
  if (close) {
    closing_ = true;
    pending_.clear();
  }
}

void Connection::TimedOut() {
  if (closing_) return;
  if (MidRequest()) output_ += Serialize(Refusal(408, "The request took too long to arrive."), false, true);
  closing_ = true;
  pending_.clear();
}

}  // namespace brv::web
