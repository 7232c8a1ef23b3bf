#pragma once
// The modal message box. The control only asks for a box with a prompt, a title
// and a button style; the container decides how it is shown. The handler belongs
// to the thread the control runs on.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace brv {

using MessageBoxHandler = std::function<void(const std::string& prompt, const std::string& title, int32_t style)>;

// Shows a box and waits for it to be closed; the answer is not reported.
void MsgBox(const std::string& prompt, int32_t style, const std::string& title);

// Installs this thread's handler and returns the previous one. Without one,
// each system shows boxes its own way (standard error as "TITLE: PROMPT" on
// Linux, the system's box on Windows).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Gives the box to this thread's handler; false when there is none.
bool PassToMessageBoxHandler(const std::string& prompt, const std::string& title, int32_t style);

// This thread's boxes go to `handler` while the scope lasts, then to the
// handler before it.
class MessageBoxScope {
 public:
  explicit MessageBoxScope(MessageBoxHandler handler) : previous_(SetMessageBoxHandler(std::move(handler))) {}
  ~MessageBoxScope() { SetMessageBoxHandler(std::move(previous_)); }
  MessageBoxScope(const MessageBoxScope&) = delete;
  MessageBoxScope& operator=(const MessageBoxScope&) = delete;

 private:
  MessageBoxHandler previous_;
};

}  // namespace brv
