#include "platform/MessageBox.h"

#include <iostream>

namespace brv {
namespace {

MessageBoxHandler& Handler() {
  thread_local MessageBoxHandler handler;
  return handler;
}

}  // namespace

void MsgBox(const std::string& prompt, int32_t style, const std::string& title) {
  if (const MessageBoxHandler& h = Handler()) {
    h(prompt, title, style);
  } else {
    std::cerr << title << ": " << prompt << '\n';
  }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

}  // namespace brv
