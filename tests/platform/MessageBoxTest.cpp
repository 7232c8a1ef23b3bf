// Message box handlers: one a thread, restored when a scope ends.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/MessageBox.h"

namespace brv {
namespace {

TEST(MessageBoxHandlers, ScopesNestAndEachThreadHasItsOwn) {
  std::vector<std::string> outer, inner;
  const auto into = [](std::vector<std::string>& boxes) {
    return [&boxes](const std::string& prompt, const std::string& title, int32_t) {
      boxes.push_back(title + ": " + prompt);
    };
  };
  {
    MessageBoxScope first(into(outer));
    MsgBox("one", 0, "A");
    {
      MessageBoxScope second(into(inner));
      MsgBox("two", 0, "B");
      // Another thread has no handler of its own, and does not see this one.
      bool passed = true;
      std::thread([&] { passed = PassToMessageBoxHandler("three", "C", 0); }).join();
      EXPECT_FALSE(passed);
    }
    MsgBox("four", 0, "D");
  }
  EXPECT_FALSE(PassToMessageBoxHandler("five", "E", 0));
  EXPECT_EQ(outer, (std::vector<std::string>{"A: one", "D: four"}));
  EXPECT_EQ(inner, (std::vector<std::string>{"B: two"}));
}

}  // namespace
}  // namespace brv
