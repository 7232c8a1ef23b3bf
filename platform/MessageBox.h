#pragma once
// The modal message box. The control only asks for a box with a prompt, a title
// and a button style; the container decides how it is shown. The handler belongs
// to the thread the control runs on.
#include <cstdint>
#include <functional>
#include <string>

namespace brv {

using MessageBoxHandler = std::function<void(const std::string& prompt, const std::string& title, int32_t style)>;

// Shows a box and waits for it to be closed; the answer is not reported.
void MsgBox(const std::string& prompt, int32_t style, const std::string& title);

// Installs this thread's handler and returns the previous one. Without one,
// boxes go to standard error as "TITLE: PROMPT".
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace brv
