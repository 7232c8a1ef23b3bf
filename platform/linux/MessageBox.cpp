// The message box on Linux: without a handler, a box goes to standard error.
#include "platform/MessageBox.h"

#include <iostream>

namespace brv {

void MsgBox(const std::string& prompt, int32_t style, const std::string& title) {
  if (!PassToMessageBoxHandler(prompt, title, style)) std::cerr << title << ": " << prompt << '\n';
}

}  // namespace brv
