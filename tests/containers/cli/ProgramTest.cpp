// The program as a user runs it: exit statuses, one-line reasons, script mode.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/Text.h"
#include "tests/support/Support.h"

namespace {

using brv::test::Outcome;
using brv::test::RunProgram;

const std::string laptop = std::string(BRV_SOURCE_DIR) + "/samples/laptop.json";

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A snapshot file of the sample laptop with some classes replaced and a
// capture's where and when.
std::string Laptop(const brv::test::TempDir& dir, const std::string& name, const std::string& replaced = "{}",
                   const std::string& captured = R"({"host": "desk-7", "time": "2026-11-30T08:00:00Z"})") {
  std::ifstream in(laptop);
  nlohmann::ordered_json snapshot = nlohmann::ordered_json::parse(in);
  snapshot["format"] = "brvparts-snapshot/2";
  snapshot["captured"] = nlohmann::ordered_json::parse(captured);
  const nlohmann::ordered_json classes = nlohmann::ordered_json::parse(replaced);
  for (const auto& [cls, value] : classes.items()) snapshot["classes"][cls] = value;
  const std::string path = dir.path() + "/" + name;
  std::ofstream(path) << snapshot.dump();
  return path;
}

// What each command line shows, whole, in tests/data/expected/program.txt:
// categories as people type them in each language, instance numbers, files
// that are no snapshot or script, options that exclude each other, the table's
// lines in each locale and width, and diff's inventories.
TEST(Program, WhatEachCommandLineShows) {
  const brv::test::TempDir dir;
  std::ofstream(dir.path() + "/bad.json") << "{\"format\": \"brvparts-snapshot/1\",\n \"classes\": [}";
  // No optical drive, and a Bluetooth class the service cannot answer.
  Laptop(dir, "changed.json", R"({"Brovik_CDROMDrive": [], "Brovik_Bluetooth": {"$error": "0x80041010"}})");
  const std::string before = Laptop(dir, "before.json");
  const std::string swapped =
      Laptop(dir, "swapped.json",
             R"({"Brovik_DiskDrive": [{"SerialNO": "S4EWNX0R123456", "FirmwareRevision": "4L7QCXB7"}],
          "Win32_NetworkAdapterConfiguration": [{"Index": 1, "IPAddress": null},
            {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": ["10.9.9.9"]}]})",
             R"({"host": "desk-7", "time": "2026-12-06T09:30:00Z"})");
  Laptop(dir, "nobt.json", R"({"Brovik_Bluetooth": {"$error": "0x80041010"}})");
  Laptop(dir, "old.json", "{}", "{}");
  // The same inventories as documents of --json, which diff reads too.
  ASSERT_EQ(RunProgram("--json --snapshot " + before + " >" + dir.path() + "/listed.json").status, 0);
  ASSERT_EQ(RunProgram("--json --snapshot " + swapped + " >" + dir.path() + "/listed-swapped.json").status, 0);
  std::ofstream(dir.path() + "/other.json") << R"({"hello": 1})";
  // A display with neither class answering, and with an adapter only.
  std::ofstream(dir.path() + "/nodisplay.json")
      << brv::test::SnapshotWith(R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [])");
  std::ofstream(dir.path() + "/adapter.json")
      << brv::test::SnapshotWith(R"("Brovik_LCDPanel": [], "Win32_VideoConfiguration": [{"AdapterChipType": "C"}])");
  std::ofstream(dir.path() + "/fact.json") << R"({"categories": {"CPU": [{"Name": 5}]}, "messages": [], "errors": []})";
  Laptop(dir, "after.json", R"({"DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}]})", R"({"host": "desk-7"})");
  Laptop(dir, "evil-before.json", "{}", R"({"host": "evil\u001b]0;x\u0007", "time": "t"})");
  Laptop(dir, "evil-after.json", R"({"DMTF_PortableBattery": [
      {"PortableBatterySerialNumber": "\u001b[2J", "PortableBatteryDesignCapacity": 1}]})");
  // A good request padded past the line bound is refused, and the rest of its
  // line is dropped, not read as further requests.
  const std::string cpu = R"({"method": "SetSelectItem", "args": ["CPU", )";
  std::ofstream(dir.path() + "/script.txt") << cpu << "1]}\n\n"
                                            << cpu << "0]}\n}{\n"
                                            << cpu << "1e999]}\n"
                                            << cpu << "1]}" << std::string(1 << 20, ' ') << "}{\n"
                                            << cpu << "\"1\"]}\n";
  brv::test::ExpectTranscript("expected/program.txt",
                              {{"{program}", BRV_PROGRAM}, {"{dir}", dir.path()}, {"{src}", BRV_SOURCE_DIR}});
}

// The whole inventory, every category with every instance, read as expected:
// the tables in the user's language, and --json the same in every language
// (English keys, null for the empty text).
TEST(Program, WholeInventoryReadsAsExpected) {
  const std::string expected = std::string(BRV_TEST_DATA) + "/expected/laptop.";
  for (const auto& [args, lang, golden] :
       {std::tuple{"", "C", "en.txt"}, std::tuple{"", "ja_JP.UTF-8", "ja.txt"}, std::tuple{"--json", "C", "json"},
        std::tuple{"--json", "ja_JP.UTF-8", "json"}, std::tuple{"--details", "C", "details.txt"}}) {
    const Outcome r = RunProgram(std::string(args) + " --snapshot " + laptop, "", lang);
    EXPECT_EQ(r.out, Contents(expected + golden)) << args << " " << lang;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
}

// Columns a line takes, without its escape sequences.
size_t Columns(const std::string& line) {
  std::string text;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x1b') {
      i = line.find('m', i);
      if (i == std::string::npos) break;
    } else if (line[i] != '\r') {
      text += line[i];
    }
  }
  return brv::DisplayWidth(text);
}

// The program with its standard output on a pseudo-terminal.
Outcome OnTerminal(const std::string& env, const std::string& args, const std::string& before = "") {
  const std::string cmd = "env -u COLUMNS LC_ALL= LANG=C " + env + " script -qec '" + before + BRV_PROGRAM + " " +
                          args + "' /dev/null </dev/null 2>/dev/null";
  Outcome r{};
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  r.status = WEXITSTATUS(pclose(p));
  return r;
}

// On a terminal 44 columns wide (a pseudo-terminal from script(1)): colours
// unless turned off, at the depth asked for, and the table as wide as the
// terminal, whatever COLUMNS says; wrapped, not cut. Numbers carry their units
// for a person at a terminal (in a pipe they do not: the transcript).
TEST(Program, OnATerminal) {
  const struct {
    std::string env, args;
    std::string shows;  // an escape sequence the output holds; "" for none at all
  } cases[] = {
      {"TERM=xterm-256color COLORTERM=truecolor", "--color=never", ""},
      {"TERM=xterm-256color COLORTERM=truecolor NO_COLOR=", "--color=auto", "\x1b[38;2;0;0;0;48;2;"},
      {"TERM=xterm-256color COLORTERM=truecolor NO_COLOR=1", "", ""},
      {"TERM=dumb COLORTERM=truecolor", "", ""},
      {"TERM=xterm COLORTERM= COLUMNS=100", "--color=always", "\x1b[30;4"},
      {"LANG=ja_JP.UTF-8", "--color=always", "\x1b["},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.env + " " + c.args);
    const Outcome r = OnTerminal(c.env, c.args + " --snapshot " + laptop + " CPU", "stty cols 44 && ");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find(c.shows.empty() ? "\x1b" : c.shows) != std::string::npos, !c.shows.empty()) << r.out;
    std::istringstream lines(r.out);
    size_t widest = 0;
    for (std::string line; std::getline(lines, line);) widest = std::max(widest, Columns(line));
    EXPECT_LE(widest, 44u) << r.out;
    EXPECT_GE(widest, 40u) << "the table takes the width it has";
    for (const char* word : {"Intel(R)", "i7-8650U", "1.90GHz"}) EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
  const std::string out = OnTerminal("", "--snapshot " + laptop).out;
  for (const char* shown : {"512110190592 (477 GiB)", "17179869184 (16 GiB)", "4200 MHz", "47520 mWh"}) {
    EXPECT_NE(out.find(shown), std::string::npos) << shown;
  }
}

// Every captured tree NAME (tests/data/sysroot/NAME/): `capture` writes, whole,
// the expected answers kept beside it (NAME.json, made and renewed by
// scripts/renew-expected.sh), and that snapshot shows what the tree shows.
TEST(Program, EveryTreeCapturesItsExpectedAnswersAndReplaysThem) {
  size_t trees = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(BRV_TEST_DATA) + "/sysroot")) {
    if (!entry.is_directory()) continue;
    const std::string tree = entry.path().string(), expected = tree + ".json", name = entry.path().filename();
    SCOPED_TRACE(name);
    ++trees;
    const Outcome capture = RunProgram("--sysroot " + tree + " capture");
    EXPECT_EQ(capture.status, 0) << capture.err;
    // Where and when a capture was taken is no answer of the tree (the time
    // differs from run to run); everything else is compared whole.
    auto got = nlohmann::ordered_json::parse(capture.out, nullptr, false),
         want = nlohmann::ordered_json::parse(Contents(expected), nullptr, false);
    for (auto* doc : {&got, &want}) {
      if (doc->is_object()) doc->erase("captured");
    }
    EXPECT_TRUE(!got.is_discarded() && got == want)
        << expected << " is not what the tree answers; if that is meant, run scripts/renew-expected.sh " << name
        << " and review the diff";
    const Outcome live = RunProgram("--sysroot " + tree), replay = RunProgram("--snapshot " + expected);
    EXPECT_EQ(live.out, replay.out);
    EXPECT_EQ(live.status, replay.status);
    EXPECT_NE(live.out.find("CPU 1 of"), std::string::npos);
    // diff reads the tree as either side: no part has changed.
    for (const std::string& args :
         {"--sysroot " + tree + " diff " + expected + " -", "diff --sysroot " + tree + " - " + expected}) {
      const Outcome diff = RunProgram(args);
      EXPECT_EQ(diff.status, 0) << diff.err;
      EXPECT_NE(diff.out.find("No part has changed.\n"), std::string::npos) << diff.out;
    }
  }
  EXPECT_GE(trees, 9u);
  // And this machine, captured, against itself read again.
  const brv::test::TempDir dir;
  ASSERT_EQ(RunProgram("capture -o " + dir.path() + "/now.json").status, 0);
  EXPECT_NE(RunProgram("diff " + dir.path() + "/now.json -").out.find("No part has changed.\n"), std::string::npos);
}

// What a capture to DIR/snap.json shows after `before` made what is there (or
// beside it) in DIR: its message and status, the file DIR/victim (which a
// link may point to), the start of a regular file written, and what DIR then
// holds (type, mode, name): a regular file replaced, the owner's alone; no
// temporary file left; anything else at the target left as it was.
TEST(Program, CaptureReplacesOnlyARegularFileAndWritesThroughNothing) {
  const struct {
    std::string before, shown;
  } cases[] = {
      {"true", "= 0\nvictim\n{\n  \"format\": \"brvparts-snapshot/2\",\nf 600 snap.json\nf 644 victim\n"},
      {"echo old >snap.json && chmod 644 snap.json",
       "= 0\nvictim\n{\n  \"format\": \"brvparts-snapshot/2\",\nf 600 snap.json\nf 644 victim\n"},
      // A link at the old temporary name.
      {"ln -s victim snap.json.partial",
       "= 0\nvictim\n{\n  \"format\": \"brvparts-snapshot/2\",\nf 600 snap.json\nf 644 victim\nl 777 "
       "snap.json.partial\n"},
      {"ln -s victim snap.json",
       "brvparts: DIR/snap.json: a symbolic link; name the file itself\n= 2\nvictim\nf 644 victim\nl 777 snap.json\n"},
      {"mkfifo snap.json",
       "brvparts: DIR/snap.json: not a regular file (a device, pipe or socket); nothing was written\n= 2\nvictim\nf "
       "644 victim\np 644 snap.json\n"},
      {"mkdir snap.json", "brvparts: DIR/snap.json: a folder\n= 2\nvictim\nd 755 snap.json\nf 644 victim\n"},
      // Where the system allows it.
      {"mknod snap.json c 1 3 2>/dev/null",
       "brvparts: DIR/snap.json: not a regular file (a device, pipe or socket); nothing was written\n= 2\nvictim\nc "
       "644 snap.json\nf 644 victim\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    const brv::test::TempDir dir, out;
    const std::string command =
        "cd " + dir.path() + " && umask 022 && echo victim >victim && " + c.before + " && { " + BRV_PROGRAM +
        " --sysroot " + BRV_TEST_DATA + "/sysroot/laptop capture -o " + dir.path() +
        "/snap.json 2>&1; echo \"= $?\"; cat victim; [ -L snap.json ] || [ ! -f " +
        "snap.json ] || head -2 snap.json; find . -mindepth 1 -printf \"%y %m %f\\n\" | sort; } >" + out.path() +
        "/shown";
    if (std::system(command.c_str()) != 0) continue;
    std::string shown = c.shown;
    for (size_t at; (at = shown.find("DIR")) != std::string::npos;) shown.replace(at, 3, dir.path());
    EXPECT_EQ(Contents(out.path() + "/shown"), shown);
  }
}

TEST(Program, ACaptureThatCannotBeWrittenLeavesTheOldFile) {
  // File systems of the test's own, in a mount namespace, where the system
  // allows one: what the capture sees is checked inside it. Its message, its
  // status, the old file, and no temporary file left in DIR.
  if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace here";
  const struct {
    std::string mount;  // makes DIR what the case needs
    std::string shown;
  } cases[] = {
      {"mount --bind DIR DIR && echo old > DIR/snap.json && mount -o remount,ro,bind DIR",
       "brvparts: DIR/snap.json: cannot create a file in DIR: Read-only file system\n= 2\nold\nsnap.json\n"},
      // Two pages: the old file takes one, a filler the other.
      {"mount -t tmpfs -o size=8k none DIR && echo old > DIR/snap.json && head -c 4096 /dev/zero > DIR/filler",
       "brvparts: DIR/snap.json: cannot be written: No space left on device\n= 2\nold\nfiller\nsnap.json\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mount);
    const brv::test::TempDir dir, out;
    const auto fill = [&](std::string text) {
      for (size_t at; (at = text.find("DIR")) != std::string::npos;) text.replace(at, 3, dir.path());
      return text;
    };
    const std::string command = fill("unshare -m sh -c '" + c.mount + " && { " + BRV_PROGRAM + " --sysroot " +
                                     BRV_TEST_DATA + "/sysroot/laptop capture -o DIR/snap.json 2>&1; echo \"= $?\"; " +
                                     "cat DIR/snap.json; ls -A DIR; } >" + out.path() + "/shown'");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Contents(out.path() + "/shown"), fill(c.shown));
  }
}

}  // namespace
