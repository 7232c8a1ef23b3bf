// The message box handlers, one a thread, whatever the system.
#include "platform/MessageBox.h"

namespace brv {
namespace {

MessageBoxHandler& Handler() {
  thread_local MessageBoxHandler handler;
  return handler;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

bool PassToMessageBoxHandler(const std::string& prompt, const std::string& title, int32_t style) {
  const MessageBoxHandler& h = Handler();
  if (!h) return false;
  h(prompt, title, style);
  return true;
}

}  // namespace brv
