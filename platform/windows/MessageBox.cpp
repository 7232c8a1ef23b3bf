// The message box on Windows: the platform's modal box (MessageBoxW, OK button,
// no icon). For test runs, BRVPARTS_MSGBOX_LOG sends boxes to a file (or to
// standard error when it says "stderr") as "TITLE: PROMPT" lines instead, so
// that nothing waits for a click.
#include "platform/MessageBox.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/windows/Com.h"

namespace brv {
namespace {

void LogBox(const std::string& destination, const std::string& line) {
  if (destination == "stderr" || destination == "-") {
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return;
  }
  const std::wstring path = win::Wide(destination);
  if (FILE* file = _wfopen(path.c_str(), L"ab")) {
    std::fputs(line.c_str(), file);
    std::fclose(file);
  }
}

}  // namespace

void MsgBox(const std::string& prompt, int32_t style, const std::string& title) {
  if (PassToMessageBoxHandler(prompt, title, style)) return;
  if (const wchar_t* log = _wgetenv(L"BRVPARTS_MSGBOX_LOG"); log && *log) {
    LogBox(win::Utf8(std::wstring_view(log)), title + ": " + prompt + "\n");
    return;
  }
  const std::wstring text = win::Wide(prompt);
  const std::wstring caption = win::Wide(title);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), static_cast<UINT>(style) | MB_OK);
}

}  // namespace brv
