#pragma once
// Shared test fixtures: string providers, the message boxes recorded, a fresh
// module state for the test's thread, snapshots given inline, and the program
// run as a user runs it.
#include <time.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "control/BRVPartsCtl.h"
#include "module/ModuleState.h"
#include "platform/Automation.h"
#include "platform/MessageBox.h"
#include "tests/support/TestFiles.h"

namespace brv {
// Shows a variant readably in test failures.
void PrintTo(const Variant& value, std::ostream* out);
}  // namespace brv

namespace brv::test {

// Fake answers message N with "#N"; Missing has no provider; Installed reads the catalogues.
enum class ProviderMode { Fake, Missing, Installed };

// Puts a provider in place for the scope of a test and restores the installed one.
class ProviderScope {
 public:
  explicit ProviderScope(ProviderMode mode);
  ~ProviderScope();
  void Switch(ProviderMode mode);
};

struct Box {
  std::string prompt, title;
  int32_t style;
  bool operator==(const Box&) const = default;
};
inline void PrintTo(const Box& b, std::ostream* out) {
  *out << "{" << b.title << ": " << b.prompt << ", " << b.style << "}";
}

// Records the message boxes shown on this thread for the scope of a test.
class BoxRecorder {
 public:
  BoxRecorder();
  std::vector<Box> boxes;

 private:
  MessageBoxScope scope_;
};

// A new empty folder, removed with all it holds when the scope ends.
using TempDir = TempTree;

// Resets this thread's module state and pending error.
void ResetModule();

// Answers the instrumentation from a snapshot document given inline.
void UseSnapshot(const std::string& document);
// A snapshot document holding the given classes ("classes" member body).
std::string SnapshotWith(const std::string& classes);
// Counts the queries the process source answers.
int QueriesAnswered();

// The program run with the arguments, the input on its standard input and LANG
// set to lang (the other locale variables cleared): its exit status and output.
struct Outcome {
  int status;
  std::string out, err;
};
// env: more variables for the program, "NAME=value ..." (COLUMNS is unset unless given).
Outcome RunProgram(const std::string& args, const std::string& input = "", const std::string& lang = "C",
                   const std::string& env = "");

// Runs each command line ("$ [NAME=value...] brvparts ARGS") of a transcript
// under tests/data and compares what it prints, whole, with the lines after it
// ("| " standard output, "! " standard error, "= " exit status). Each name of
// `names` stands for its value in the command lines and the output. With
// BRV_RENEW=1 in the environment the transcript is rewritten with what was printed.
void ExpectTranscript(const std::string& relative, const std::vector<std::pair<std::string, std::string>>& names);

// The processor time this process has used, in milliseconds. Bounds on how
// long work takes are set on it rather than on the wall clock, so that a busy
// machine does not fail them (each test runs in a process of its own).
inline long CpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

// The number of the error a call raises, 0 when it raises none.
template <class Call>
int32_t ErrorNumberOf(Call&& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A fresh control on a fresh thread state, with English texts and the boxes recorded.
template <class Base = ::testing::Test>
class WithControl : public Base {
 protected:
  void SetUp() override {
    ResetModule();
    control = std::make_unique<BRVPartsCtl>();
  }
  ProviderScope provider{ProviderMode::Missing};
  BoxRecorder boxes;
  std::unique_ptr<BRVPartsCtl> control;
};

}  // namespace brv::test
