// The program as a user runs it: exit statuses, one-line reasons, script mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/Support.h"

namespace {

using brv::test::Outcome;
using brv::test::RunProgram;

const std::string laptop = std::string(BRV_SOURCE_DIR) + "/samples/laptop.json";

TEST(Program, ExitStatusesAndReasons) {
  const brv::test::TempDir dir;
  const std::string broken = dir.path() + "/bad.json";
  std::ofstream(broken) << "{\"format\": \"brvparts-snapshot/1\",\n \"classes\": [}";
  const struct {
    std::string args;
    int status;
    std::string errStart;  // what the one-line reason starts with; "" when nothing goes to stderr
  } cases[] = {
      {"--snapshot " + laptop + " CPU", 0, ""},
      {"--snapshot " + laptop + " CPU 2", 0, ""},  // one past the count: the empty last row
      {"--snapshot " + laptop + " CPU 0", 1, "brvparts: CPU: Subscript out of range"},
      {"--snapshot " + laptop + " CPU x", 1, "brvparts: CPU: Type mismatch"},
      {"--snapshot " + broken + " CPU", 2, "brvparts: " + broken + ": line 2, column 14: not valid JSON"},
      {"--snapshot /nonexistent.json", 2, "brvparts: /nonexistent.json: cannot be read"},
      {"--snapshot " + laptop + " --bogus", 2, "brvparts: "},
      {"--snapshot " + laptop + " --script /nonexistent", 2, "brvparts: /nonexistent: cannot be read"},
      {"--sysroot /nonexistent CPU", 2, "brvparts: /nonexistent: not a folder"},
      {"--sysroot / --snapshot " + laptop, 2, "brvparts: --snapshot and --sysroot exclude each other"},
  };
  for (const auto& c : cases) {
    const Outcome r = RunProgram(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    if (c.errStart.empty()) {
      EXPECT_EQ(r.err, "") << c.args;
    } else {
      EXPECT_EQ(r.err.rfind(c.errStart, 0), 0u) << c.args << ": " << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    if (c.status == 2) {
      EXPECT_EQ(r.out, "") << "nothing is shown from a refused run";
    }
  }
}

TEST(Program, WholeInventoryReadsAsExpected) {
  // Every category with every instance, in the user's language.
  for (const char* lang : {"en", "ja"}) {
    const Outcome r = RunProgram("--snapshot " + laptop, "", lang == std::string("en") ? "C" : "ja_JP.UTF-8");
    std::ifstream expected(std::string(BRV_TEST_DATA) + "/expected/laptop." + lang + ".txt");
    EXPECT_EQ(r.out, std::string(std::istreambuf_iterator<char>(expected), {})) << lang;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
}

TEST(Program, ACaptureShowsWhatTheMachineShowed) {
  // A captured tree, captured to a snapshot and opened again, reads the same.
  for (const char* machine : {"laptop", "desktop", "server", "vm"}) {
    const std::string tree = std::string(BRV_TEST_DATA) + "/sysroot/" + machine;
    const brv::test::TempDir dir;
    const std::string file = dir.path() + "/" + machine + ".json";
    const Outcome capture = RunProgram("--sysroot " + tree + " capture -o " + file);
    EXPECT_EQ(capture.status, 0) << capture.err;
    const Outcome live = RunProgram("--sysroot " + tree);
    const Outcome replay = RunProgram("--snapshot " + file);
    EXPECT_EQ(live.out, replay.out) << machine;
    EXPECT_EQ(live.status, replay.status);
    EXPECT_NE(live.out.find("CPU 1 of"), std::string::npos) << machine;
  }
}

TEST(Program, ScriptModeAnswersEveryLineInOrder) {
  const Outcome r = RunProgram("--snapshot " + laptop + " --script -",
                        "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 1]}\n\n"
                        "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 0]}\n"
                        "}{\n"
                        "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 1e999]}\n"  // too large for any number
                        "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", \"1\"]}\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  std::vector<nlohmann::json> lines;
  std::istringstream out(r.out);
  for (std::string line; std::getline(out, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0]["startup"], true);
  EXPECT_EQ(lines[1]["result"], 1);
  EXPECT_EQ(lines[2]["error"]["number"], 9);
  EXPECT_EQ(lines[3]["error"]["number"], 5);
  EXPECT_EQ(lines[4]["error"]["number"], 5);
  EXPECT_EQ(lines[5]["result"], 1);
}

}  // namespace
