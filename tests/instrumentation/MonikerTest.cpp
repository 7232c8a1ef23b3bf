// Monikers read the same on every system: the security settings, the machine,
// the namespace with either separator, and the object path; and what is refused.
#include <gtest/gtest.h>

#include "instrumentation/Moniker.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv::wmi {
namespace {

TEST(Moniker, ReadsEachPartOrRefuses) {
  test::ExpectAnswers("expected/monikers.txt", [](const std::string& text) {
    Moniker m;
    const int32_t error = test::ErrorNumberOf([&] { m = ParseMoniker(text); });
    if (error) return error == kInvalidMoniker ? std::string("refused") : "error " + std::to_string(error);
    return m.security + " | " + m.machine + " | " + m.nameSpace + " | " + m.path;
  });
}

}  // namespace
}  // namespace brv::wmi
