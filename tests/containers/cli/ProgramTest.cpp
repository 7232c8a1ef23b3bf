// The program as a user runs it: exit statuses, one-line reasons, script mode.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "common/Category.h"
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

// What is shown for each command line, and the one-line reason for a refused
// one or a failed query: categories as people type them in each language,
// instance numbers, files that are no snapshot or script, options that exclude
// each other, the table's lines in each locale, and diff's inventories.
TEST(Program, WhatEachCommandLineShows) {
  const brv::test::TempDir dir;
  const std::string broken = dir.path() + "/bad.json", s = "--snapshot " + laptop + " ";
  std::ofstream(broken) << "{\"format\": \"brvparts-snapshot/1\",\n \"classes\": [}";
  // No optical drive, and a Bluetooth class the service cannot answer.
  const std::string changed =
      "--snapshot " +
      Laptop(dir, "changed.json", R"({"Brovik_CDROMDrive": [], "Brovik_Bluetooth": {"$error": "0x80041010"}})") + " ";
  const std::string before = Laptop(dir, "before.json");
  const std::string swapped =
      Laptop(dir, "swapped.json",
             R"({"Brovik_DiskDrive": [{"SerialNO": "S4EWNX0R123456", "FirmwareRevision": "4L7QCXB7"}],
          "Win32_NetworkAdapterConfiguration": [{"Index": 1, "IPAddress": null},
            {"Index": 2, "IPAddress": null}, {"Index": 3, "IPAddress": ["10.9.9.9"]}]})",
             R"({"host": "desk-7", "time": "2026-12-06T09:30:00Z"})");
  const std::string noBluetooth = Laptop(dir, "nobt.json", R"({"Brovik_Bluetooth": {"$error": "0x80041010"}})");
  const std::string old = Laptop(dir, "old.json", "{}", "{}");
  // The same inventories as documents of --json, which diff reads too.
  const std::string listed = dir.path() + "/listed.json", listedSwapped = dir.path() + "/listed-swapped.json";
  ASSERT_EQ(RunProgram("--json --snapshot " + before + " >" + listed).status, 0);
  ASSERT_EQ(RunProgram("--json --snapshot " + swapped + " >" + listedSwapped).status, 0);
  const std::string notInventory = dir.path() + "/other.json", badFact = dir.path() + "/fact.json";
  std::ofstream(notInventory) << R"({"hello": 1})";
  std::ofstream(badFact) << R"({"categories": {"CPU": [{"Name": 5}]}, "messages": [], "errors": []})";
  const std::string instance = "brvparts: the instance is a positive whole number";
  const std::string row = " Index              ";
  const struct {
    std::string args;
    int status;
    std::string out;  // what the output holds; "" for no output
    std::string err;  // the start of standard error's one line; "" for nothing
    std::string lang = "C", env = "";
  } cases[] = {
      // The names and the words people use, in any case, in one or several
      // arguments, or their first letters; without an instance, every one.
      {s + "' cpu '", 0, "CPU 1 of 1\n Item", ""},
      {s + "Network Adapter 2", 0, "Network Adapter 2 of 2\n", ""},
      {s + "'NETWORK ADAPTER'", 0, "Network Adapter 1 of 2\n", ""},
      {s + "nic", 0, "Network Adapter 2 of 2\n", ""},
      {s + "net all", 0, "Network Adapter 2 of 2\n", ""},
      {s + "cd dvd", 0, "CD,DVD 1 of 1\n", ""},
      {s + "disk", 0, "HDD 1 of 1\n", ""},
      {s + "ram", 0, "Memory 2 of 2\n", ""},
      {s + "gpu", 0, "Display\n Item", ""},
      {s + "Memory ' 2 '", 0, "Memory 2 of 2\n", ""},
      {s + "bat", 0, "Battery Pack 1 of 1\n", ""},
      {s + "ext mon", 0, "External Monitor 1 of 1\n", ""},
      {s + "Festplatte", 0, "HDD 1 von 1\n", "", "de_DE.UTF-8"},
      {s + "disk", 0, "HDD 1 von 1\n", "", "de_DE.UTF-8"},
      {s + "Speicher alle", 0, "Memory 2 von 2\n", "", "de_DE.UTF-8"},
      {s + "AKKU", 0, "Battery Pack 1 von 1\n", "", "de_DE.UTF-8"},
      {s + "ディスク", 0, "HDD 1/1\n", "", "ja_JP.UTF-8"},
      {s + "ネットワーク 2", 0, "Network Adapter 2/2\n", "", "ja_JP.UTF-8"},
      {s + "メモリ すべて", 0, "Memory 2/2\n", "", "ja_JP.UTF-8"},
      // Refused: the category meant when one is close, never an unrelated one.
      {s + "memroy", 2, "", "brvparts: no category is called \"memroy\"; did you mean \"Memory\"?"},
      {s + "dsik", 2, "", "brvparts: no category is called \"dsik\"; did you mean \"HDD\"?"},
      {s + "netwrk adaptr", 2, "",
       "brvparts: no category is called \"netwrk adaptr\"; did you mean \"Network Adapter\"?"},
      {s + "xyz", 2, "", "brvparts: no category is called \"xyz\". The categories: CPU, Memory,"},
      {s + "d", 2, "",
       "brvparts: \"d\" could be any of Memory, Display, HDD, \"CD,DVD\", \"Docking Station\"; type more of the name"},
      {s + "Festplate", 2, "", "brvparts: keine Kategorie heißt „Festplate“; meinten Sie „HDD“?", "de_DE.UTF-8"},
      {s + "qq", 2, "", "brvparts: keine Kategorie heißt „qq“. Die Kategorien: CPU,", "de_DE.UTF-8"},
      {s + "ディスコ", 2, "", "brvparts: 「ディスコ」という分類はありません。「HDD」のことですか?", "ja_JP.UTF-8"},
      {changed + "cd,dvd", 0, "CD,DVD: none\n", ""},
      {changed + "cd,dvd 2", 2, "", "brvparts: CD,DVD has no instances\n"},
      // A query that failed: its box in one line, the rest still shown.
      {changed + "Bluetooth", 1, "Bluetooth 1 of 1",
       "brvparts: Bluetooth: Parts Information - Error: Failed to create object.\n"},
      {changed, 1, "External Monitor 1 of 1",
       "brvparts: Bluetooth: Parts Information - Error: Failed to create object.\n"},
      // The program's own texts come from the catalogues.
      {changed + "CD,DVD", 0, "CD,DVD: keine", "", "de_DE.UTF-8"},
      {changed + "CD,DVD", 0, "CD,DVD: なし", "", "ja_JP.UTF-8"},
      {s + "Memory 3", 2, "", "brvparts: Memory hat 2 Instanzen", "de_DE.UTF-8"},
      {s + "Memory 3", 2, "", "brvparts: Memory は 2 件しかありません", "ja_JP.UTF-8"},
      {s + "CPU 2", 2, "", "brvparts: CPU hat 1 Instanz", "de_DE.UTF-8"},
      {s + "Memory x", 2, "", "brvparts: die Instanz ist eine positive ganze Zahl, ab 1 gezählt, nicht „x“",
       "de_DE.UTF-8"},
      {"--help", 0, "every part of every category; with a CATEGORY every part of it", ""},
      {"--help", 0,
       "  --snapshot FILE             Read a saved inventory (made by brvparts capture) instead of this machine", ""},
      {"--help", 0, "引数なしではすべての分類のすべての部品を", "", "ja_JP.UTF-8"},
      {"serve --help", 0, "Die Teile auf einer Webseite zeigen", "", "de_DE.UTF-8"},
      {s + "--bogus", 2, "", "brvparts: The following argument was not expected: --bogus; see brvparts --help\n"},
      {"diff --bogus a b", 2, "",
       "brvparts: The following argument was not expected: --bogus; see brvparts diff --help\n"},
      {s + "--bogus", 2, "",
       "brvparts: The following argument was not expected: --bogus。brvparts --help を参照してください", "ja_JP.UTF-8"},
      {s + "CPU 2", 2, "", "brvparts: CPU has 1 instance\n"},
      {s + "Display 2", 2, "", "brvparts: Display has 1 instance\n"},
      {s + "Memory 99999999999999", 2, "", "brvparts: Memory has 2 instances\n"},
      {s + "CPU 0", 2, "", instance},
      {s + "Memory -1", 2, "", instance},
      {s + "Memory 1.0", 2, "", instance},
      {s + "Memory ''", 2, "", instance},
      // Text from the command line reaches the terminal escaped.
      {s + "\"$(printf '\\033[2J')\"", 2, "", "brvparts: no category is called \"\\x1B[2J\""},
      {"--snapshot " + broken + " CPU", 2, "", "brvparts: " + broken + ": line 2, column 14: not valid JSON"},
      {"--snapshot /nonexistent.json", 2, "", "brvparts: /nonexistent.json: cannot be read"},
      {s + "--script /nonexistent", 2, "", "brvparts: /nonexistent: cannot be read"},
      {"--sysroot /nonexistent CPU", 2, "", "brvparts: /nonexistent: not a folder"},
      {"--sysroot / " + s, 2, "", "brvparts: --snapshot and --sysroot exclude each other"},
      // What is not a regular file is refused before it is read: a device would
      // never end, a folder would read as nothing.
      {"--snapshot /dev/zero", 2, "", "brvparts: /dev/zero: not a regular file"},
      {"--snapshot " + dir.path(), 2, "", "brvparts: " + dir.path() + ": a folder, not a snapshot"},
      {s + "--script " + dir.path(), 2, "", "brvparts: " + dir.path() + ": a folder, not a script"},
      {s + "capture -o /nonexistent/x.json", 2, "",
       "brvparts: /nonexistent/x.json: cannot open its folder: No such file or directory"},
      // Box drawing only in a UTF-8 locale, named by the first of LC_ALL, LC_CTYPE and LANG set.
      {s + "CPU", 0, row + "| 1\n", "", "POSIX"},
      {s + "CPU", 0, row + "| 1\n", "", "en_US.ISO-8859-1"},
      {s + "CPU", 0, row + "\xE2\x94\x82 1\n", "", "en_US.utf8"},
      {s + "CPU", 0, row + "\xE2\x94\x82 1\n", "", "C", "LC_CTYPE=de_DE.UTF-8"},
      {s + "CPU", 0, row + "| 1\n", "", "en_US.UTF-8", "LC_CTYPE=C"},
      {s + "CPU", 0, row + "| 1\n", "", "en_US.UTF-8", "LC_ALL=C LC_CTYPE=en_US.UTF-8"},
      {s + "CPU", 0, row + "\xE2\x94\x82 1\n", "", "C", "LC_ALL=en_GB.UTF-8"},
      // diff: a capture or a document of --json on either side, in the same words.
      {"diff " + before + " " + before, 0,
       "--- " + before + " (host desk-7, taken 2026-11-30T08:00:00Z)\n+++ " + before +
           " (host desk-7, taken 2026-11-30T08:00:00Z)\nNo part has changed.\n",
       ""},
      {"diff " + before + " " + swapped, 1,
       "- HDD 1 (Serial No: S3TNNX0K812345)\n    Model: SAMSUNG MZVLB512HAJQ-000L7\n    Size: 512110190592\n", ""},
      {"diff " + listed + " " + before, 0, "--- " + listed + " (host unknown, taken unknown)\n", ""},
      {"diff " + listed + " " + listedSwapped, 1, "- HDD 1 (シリアル番号: S3TNNX0K812345)\n    モデル:", "",
       "ja_JP.UTF-8"},
      {"diff " + before + " " + listedSwapped, 1, "- HDD 1 (シリアル番号: S3TNNX0K812345)\n    モデル:", "",
       "ja_JP.UTF-8"},
      // The address changes by itself: only --all counts it.
      {"diff --all " + before + " " + swapped, 1,
       "~ Network Adapter 2 (MAC Address: 9C:B6:D0:1A:2B:3D)\n    IP Address: 192.168.1.23 \u2192 10.9.9.9\n", "",
       "C.UTF-8"},
      {"diff " + old + " " + before, 0, "--- " + old + " (host unknown, taken unknown)", ""},
      {"diff " + before + " " + noBluetooth, 2,
       "Bluetooth: could not be read in the new inventory; not compared\nNo part has changed.\n",
       "brvparts: " + noBluetooth + ": Bluetooth: "},
      {"diff " + before + " " + noBluetooth, 2,
       "Bluetooth: im neuen Bestand nicht lesbar; nicht verglichen\nKein Teil hat sich geändert.\n",
       "brvparts: ", "de_DE.UTF-8"},
      {"diff " + before + " /nonexistent.json", 2, "", "brvparts: /nonexistent.json: cannot be read"},
      {"diff " + before + " " + notInventory, 2, "",
       "brvparts: " + notInventory +
           ": neither a capture (brvparts capture -o FILE makes one) nor an inventory of brvparts --json\n"},
      {"diff " + badFact + " -", 2, "", "brvparts: " + badFact + ": CPU: \"Name\" is no text\n"},
      {"diff " + before, 2, "", "brvparts: "},
      {"--snapshot " + before + " diff " + before + " " + before, 2, "", "brvparts: diff takes its two inventories"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " in " + c.lang + " " + c.env);
    const Outcome r = RunProgram(c.args, "", c.lang, c.env);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_EQ(r.out.empty(), c.out.empty()) << r.out;
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.err.empty() ? 0 : 1) << r.err;
  }
  // A usage error lists every category.
  const Outcome r = RunProgram(s + "cpux");
  for (std::string_view name : brv::kCategoryNames) EXPECT_NE(r.err.find(name), std::string::npos) << name;
}

// The schema keywords docs/inventory.schema.json uses: type, required, properties,
// additionalProperties, items, enum, propertyNames. The faults found, one a line.
void Validate(const nlohmann::json& value, const nlohmann::json& schema, const std::string& at, std::string& faults) {
  const auto fault = [&](const std::string& what) { faults += at + ": " + what + "\n"; };
  if (schema.contains("type")) {
    const nlohmann::json types = schema["type"].is_array() ? schema["type"] : nlohmann::json::array({schema["type"]});
    const auto is = [&](const std::string& t) {
      return t == "object"    ? value.is_object()
             : t == "array"   ? value.is_array()
             : t == "string"  ? value.is_string()
             : t == "integer" ? value.is_number_integer()
             : t == "boolean" ? value.is_boolean()
             : t == "null"    ? value.is_null()
                              : false;
    };
    if (std::none_of(types.begin(), types.end(), [&](const nlohmann::json& t) { return is(t.get<std::string>()); })) {
      return fault("not of type " + schema["type"].dump());
    }
  }
  if (schema.contains("enum") &&
      std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end()) {
    fault(value.dump() + " is none of " + schema["enum"].dump());
  }
  if (value.is_object()) {
    for (const auto& name : schema.value("required", nlohmann::json::array())) {
      if (!value.contains(name.get<std::string>())) fault("lacks " + name.dump());
    }
    for (const auto& [name, member] : value.items()) {
      if (schema.contains("propertyNames")) Validate(name, schema["propertyNames"], at + "/" + name, faults);
      if (schema.contains("properties") && schema["properties"].contains(name)) {
        Validate(member, schema["properties"][name], at + "/" + name, faults);
      } else if (schema.contains("additionalProperties")) {
        const nlohmann::json& extra = schema["additionalProperties"];
        if (extra == false)
          fault("has " + name);
        else if (extra.is_object())
          Validate(member, extra, at + "/" + name, faults);
      }
    }
  }
  if (value.is_array() && schema.contains("items")) {
    for (size_t i = 0; i < value.size(); ++i) Validate(value[i], schema["items"], at + "/" + std::to_string(i), faults);
  }
}

// The whole inventory, every category with every instance, read as expected:
// the tables in the user's language, and --json the same in every language
// (English keys, null for the empty text) and as docs/inventory.schema.json says.
TEST(Program, WholeInventoryReadsAsExpected) {
  std::ifstream schemaFile(std::string(BRV_SOURCE_DIR) + "/docs/inventory.schema.json");
  const nlohmann::json schema = nlohmann::json::parse(schemaFile);
  const std::string expected = std::string(BRV_TEST_DATA) + "/expected/laptop.";
  for (const auto& [args, lang, golden] :
       {std::tuple{"", "C", "en.txt"}, std::tuple{"", "ja_JP.UTF-8", "ja.txt"}, std::tuple{"--json", "C", "json"},
        std::tuple{"--json", "ja_JP.UTF-8", "json"}, std::tuple{"--details", "C", "details.txt"}}) {
    const Outcome r = RunProgram(std::string(args) + " --snapshot " + laptop, "", lang);
    EXPECT_EQ(r.out, Contents(expected + golden)) << args << " " << lang;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
  }
  const brv::test::TempDir dir;
  const std::string changed =
      Laptop(dir, "changed.json", R"({"Brovik_CDROMDrive": [], "Brovik_Bluetooth": {"$error": "0x80041010"}})");
  const Outcome failing = RunProgram("--json --snapshot " + changed);
  std::string faults;
  Validate(nlohmann::ordered_json::parse(Contents(expected + "json")), schema, "", faults);
  Validate(nlohmann::ordered_json::parse(failing.out), schema, "", faults);
  EXPECT_EQ(faults, "");
  // Absence and failure, told apart; the box shown is in the document too.
  const auto failed = nlohmann::ordered_json::parse(failing.out);
  EXPECT_EQ(failing.status, 1);
  EXPECT_EQ(failed["categories"]["CD,DVD"], nlohmann::json::array());
  EXPECT_EQ(failed["categories"]["Bluetooth"][0]["Name"], nullptr) << "the query ran; its box tells what failed";
  EXPECT_EQ(failed["messages"],
            nlohmann::ordered_json::parse(R"([{"category": "Bluetooth", "title": "Parts Information - Error",
                                                           "prompt": "Failed to create object."}])"));
  // One category, and one instance of it.
  const auto doc = nlohmann::json::parse(Contents(expected + "json"));
  const Outcome one = RunProgram("--json --snapshot " + laptop + " ram"),
                two = RunProgram("--json --snapshot " + laptop + " memory 2");
  EXPECT_EQ(nlohmann::json::parse(one.out)["categories"], nlohmann::json({{"Memory", doc["categories"]["Memory"]}}));
  EXPECT_EQ(nlohmann::json::parse(two.out)["categories"],
            nlohmann::json({{"Memory", {doc["categories"]["Memory"][1]}}}));
  const Outcome past = RunProgram("--json --snapshot " + laptop + " memory 3");
  EXPECT_EQ(past.status, 2);
  EXPECT_EQ(past.out, "");
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

TEST(Program, ColoursAsTheTerminalShowsThem) {
  // On a terminal (a pseudo-terminal from script(1)) when the run says "tty".
  const struct {
    std::string env, args;
    bool tty;
    std::string shows;  // an escape sequence the output holds; "" for none at all
  } cases[] = {
      {"TERM=xterm-256color COLORTERM=truecolor", "--color=always", false, "\x1b[38;2;0;0;0;48;2;"},
      {"TERM=xterm COLORTERM=24bit", "--color=always", false, "\x1b[38;2;0;0;0;48;2;"},
      {"TERM=xterm-256color COLORTERM=", "--color=always", false, "\x1b[30;48;5;"},
      {"TERM=vt100 COLORTERM=", "--color=always", false, "\x1b[30;4"},
      {"TERM=xterm COLORTERM=yes", "--color=always", false, "\x1b[30;4"},
      {"TERM=xterm-256color COLORTERM=truecolor", "", false, ""},
      {"TERM=xterm-256color COLORTERM=truecolor", "--color=never", true, ""},
      {"TERM=xterm-256color COLORTERM=truecolor NO_COLOR=", "--color=auto", true, "\x1b[38;2;0;0;0;48;2;"},
      {"TERM=xterm-256color COLORTERM=truecolor NO_COLOR=1", "", true, ""},
      {"TERM=dumb COLORTERM=truecolor", "", true, ""},
  };
  for (const auto& c : cases) {
    const std::string args = c.args + " --snapshot " + laptop + " Memory";
    const Outcome r = c.tty ? OnTerminal(c.env, args) : RunProgram(args, "", "C", c.env);
    EXPECT_EQ(r.status, 0) << c.env << " " << c.args << r.err;
    if (c.shows.empty()) {
      EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << c.env << " " << c.args << ": " << r.out;
    } else {
      EXPECT_NE(r.out.find(c.shows), std::string::npos) << c.env << " " << c.args << ": " << r.out;
      // Only the depth asked for: nothing deeper on a lesser terminal.
      for (const std::string deeper : {"38;2;", "48;5;"}) {
        if (c.shows.find(deeper) == std::string::npos) {
          EXPECT_EQ(r.out.find(deeper), std::string::npos) << c.env << " " << deeper;
        }
      }
    }
  }
  EXPECT_EQ(RunProgram("--color=sometimes --snapshot " + laptop).status, 2);
}

TEST(Program, UnitsOnlyForAPersonAtATerminal) {
  const struct {
    std::string category, onTerminal, inPipe;
  } cases[] = {
      {"HDD", "512110190592 (477 GiB)", "512110190592\n"},
      {"Memory 2", "17179869184 (16 GiB)", "17179869184\n"},
      {"CPU", "4200 MHz", "4200\n"},
      {"Battery", "47520 mWh", "47520\n"},
  };
  for (const auto& c : cases) {
    const std::string args = "--snapshot " + laptop + " " + c.category;
    EXPECT_NE(OnTerminal("", args).out.find(c.onTerminal), std::string::npos) << c.category;
    const Outcome piped = RunProgram(args);
    EXPECT_NE(piped.out.find(c.inPipe), std::string::npos) << c.category << ":\n" << piped.out;
    EXPECT_EQ(piped.out.find(c.onTerminal), std::string::npos) << c.category;
  }
}

TEST(Program, TheTableFitsTheTerminal) {
  const std::string name = "Intel(R) Core(TM) i7-8650U CPU @ 1.90GHz";
  const struct {
    std::string lang, env;
    bool tty;        // on a terminal, set by stty to 44 columns
    size_t columns;  // the widest line allowed; 0 for no limit
  } cases[] = {
      {"C", "", false, 0},
      {"C", "COLUMNS=40", false, 40},
      {"C", "COLUMNS=30", false, 30},
      {"ja_JP.UTF-8", "COLUMNS=24", false, 24},
      {"C", "COLUMNS=wide", false, 0},
      {"C", "COLUMNS=100", true, 44},
      {"ja_JP.UTF-8", "LANG=ja_JP.UTF-8", true, 44},
  };
  for (const auto& c : cases) {
    const std::string args = "--color=always --snapshot " + laptop + " CPU";
    const Outcome r = c.tty ? OnTerminal(c.env, args, "stty cols 44 && ") : RunProgram(args, "", c.lang, c.env);
    EXPECT_EQ(r.status, 0) << c.lang << " " << c.env;
    std::istringstream lines(r.out);
    size_t widest = 0;
    for (std::string line; std::getline(lines, line);) widest = std::max(widest, Columns(line));
    if (c.columns == 0) {
      EXPECT_NE(r.out.find(name), std::string::npos) << c.env << ":\n" << r.out;
      EXPECT_GT(widest, 44u);
    } else {
      EXPECT_LE(widest, c.columns) << c.lang << " " << c.env << ":\n" << r.out;
      EXPECT_GE(widest, c.columns - 4) << "the table takes the width it has";
      // Wrapped, not cut: every word of the long value is still there.
      for (const char* word : {"Intel(R)", "i7-8650U", "1.90GHz"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
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
    if (got.is_discarded() || got != want) {
      // Name the classes that differ; the diff after renewing shows how.
      std::string differing;
      for (const auto& [cls, answer] : got["classes"].items()) {
        if (!want.is_object() || want["classes"][cls] != answer) differing += " " + cls;
      }
      ADD_FAILURE() << expected << " is not what the tree answers (classes:" << differing
                    << "); if that is meant, run scripts/renew-expected.sh " << name << " and review the diff";
    }
    const Outcome live = RunProgram("--sysroot " + tree), replay = RunProgram("--snapshot " + expected);
    EXPECT_EQ(live.out, replay.out);
    EXPECT_EQ(live.status, replay.status);
    EXPECT_NE(live.out.find("CPU 1 of"), std::string::npos);
  }
  EXPECT_GE(trees, 9u);
}

TEST(Program, ScriptModeAnswersEveryLineInOrder) {
  const Outcome r =
      RunProgram("--snapshot " + laptop + " --script -",
                 "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 1]}\n\n"
                 "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 0]}\n"
                 "}{\n"
                 "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 1e999]}\n"  // too large for any number
                 // A good request padded past the line bound is refused, and the
                 // rest of its line is dropped, not read as further requests.
                 "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", 1]}" +
                     std::string(1 << 20, ' ') +
                     "}{\n"
                     "{\"method\": \"SetSelectItem\", \"args\": [\"CPU\", \"1\"]}\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  std::vector<nlohmann::json> lines;
  std::istringstream out(r.out);
  for (std::string line; std::getline(out, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0]["startup"], true);
  EXPECT_EQ(lines[1]["result"], 1);
  EXPECT_EQ(lines[2]["error"]["number"], 9);
  EXPECT_EQ(lines[3]["error"]["number"], 5);
  EXPECT_EQ(lines[4]["error"]["number"], 5);
  EXPECT_EQ(lines[5]["error"]["number"], 5);
  EXPECT_LT(lines[5]["error"]["description"].get<std::string>().size(), 200u);
  EXPECT_EQ(lines[6]["result"], 1);
}

// What a file system entry is, from lstat: never following a link.
mode_t TypeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

TEST(Program, CaptureReplacesOnlyARegularFileAndWritesThroughNothing) {
  const std::string tree = std::string(BRV_TEST_DATA) + "/sysroot/laptop";
  // What is at the target (or beside it) before the capture.
  enum class Before { Nothing, File, LinkAtTheOldTemporaryName, Link, Fifo, Folder, Device };
  const struct {
    Before before;
    int status;
    std::string err;  // after "brvparts: TARGET: "
  } cases[] = {
      {Before::Nothing, 0, ""},
      {Before::File, 0, ""},  // an old 0644 file: replaced by a 0600 one
      {Before::LinkAtTheOldTemporaryName, 0, ""},
      {Before::Link, 2, "a symbolic link"},
      {Before::Fifo, 2, "not a regular file"},
      {Before::Folder, 2, "a folder"},
      {Before::Device, 2, "not a regular file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.before));
    const brv::test::TempDir dir;
    const std::string target = dir.path() + "/snap.json", victim = dir.path() + "/victim";
    std::ofstream(victim) << "victim";
    std::vector<std::string> entries = {"snap.json", "victim"};
    switch (c.before) {
      case Before::Nothing: break;
      case Before::File:
        std::ofstream(target) << "old";
        chmod(target.c_str(), 0644);
        break;
      case Before::LinkAtTheOldTemporaryName:
        std::filesystem::create_symlink(victim, target + ".partial");
        entries.push_back("snap.json.partial");
        break;
      case Before::Link: std::filesystem::create_symlink(victim, target); break;
      case Before::Fifo: ASSERT_EQ(mkfifo(target.c_str(), 0644), 0); break;
      case Before::Folder: std::filesystem::create_directory(target); break;
      case Before::Device:
        // The null device's numbers, in a folder of the test's own.
        if (mknod(target.c_str(), S_IFCHR | 0644, makedev(1, 3)) != 0) continue;  // not allowed here
        break;
    }
    const mode_t type = TypeOf(target);
    const Outcome r = RunProgram("--sysroot " + tree + " capture -o " + target);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(Contents(victim), "victim");
    if (c.status == 0) {
      EXPECT_EQ(r.err, "");
      struct stat st {};
      ASSERT_EQ(lstat(target.c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_EQ(st.st_mode & 0777, 0600u) << "a snapshot holds serial numbers: its owner's alone";
      EXPECT_EQ(Contents(target).rfind("{\n  \"format\": \"brvparts-snapshot/2\"", 0), 0u);
    } else {
      EXPECT_EQ(r.err.rfind("brvparts: " + target + ": " + c.err, 0), 0u) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_EQ(TypeOf(target), type) << "the target is left as it was";
    }
    // Nothing else is left in the folder: no temporary file, on success or failure.
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(found, entries);
  }
}

TEST(Program, ACaptureThatCannotBeWrittenLeavesTheOldFile) {
  // File systems of the test's own, in a mount namespace, where the system
  // allows one: what the capture sees is checked inside it.
  if (std::system("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "no mount namespace here";
  const struct {
    std::string mount;  // makes DIR what the case needs
    std::string err;    // after "brvparts: DIR/snap.json: "
  } cases[] = {
      {"mount --bind DIR DIR && echo old > DIR/snap.json && mount -o remount,ro,bind DIR",
       "cannot create a file in DIR: Read-only file system"},
      // Two pages: the old file takes one, a filler the other.
      {"mount -t tmpfs -o size=8k none DIR && echo old > DIR/snap.json && head -c 4096 /dev/zero > DIR/filler",
       "cannot be written: No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mount);
    const brv::test::TempDir dir, out;
    const auto withDir = [&](std::string text) {
      for (size_t at; (at = text.find("DIR")) != std::string::npos;) text.replace(at, 3, dir.path());
      return text;
    };
    const std::string command = "unshare -m sh -c '" + withDir(c.mount) + " && { " + BRV_PROGRAM + " --sysroot " +
                                BRV_TEST_DATA + "/sysroot/laptop capture -o " + withDir("DIR/snap.json") + " 2>" +
                                out.path() + "/err; echo $? >" + out.path() + "/status; cat " +
                                withDir("DIR/snap.json") + " >" + out.path() + "/after; ls -A " + dir.path() + " >" +
                                out.path() + "/left; }'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Contents(out.path() + "/status"), "2\n");
    EXPECT_EQ(Contents(out.path() + "/err"), withDir("brvparts: DIR/snap.json: " + c.err + "\n"));
    EXPECT_EQ(Contents(out.path() + "/after"), "old\n");
    EXPECT_EQ(Contents(out.path() + "/left").find(".partial"), std::string::npos) << "no temporary file is left";
  }
}

}  // namespace

namespace diff {

TEST(ProgramDiff, AgainstTheMachineItWasCapturedFrom) {
  const brv::test::TempDir dir;
  const std::string tree = std::string(BRV_TEST_DATA) + "/sysroot/laptop", file = dir.path() + "/now.json";
  const struct {
    std::string capture, diff;
  } cases[] = {
      {"--sysroot " + tree + " capture -o " + file, "--sysroot " + tree + " diff " + file + " -"},
      {"--sysroot " + tree + " capture -o " + file, "diff --sysroot " + tree + " - " + file},
      {"capture -o " + file, "diff " + file + " -"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.diff);
    ASSERT_EQ(RunProgram(c.capture).status, 0);
    const Outcome r = RunProgram(c.diff);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("No part has changed.\n"), std::string::npos) << r.out;
  }
}

TEST(ProgramDiff, JsonNamesBothSidesAndEveryCategory) {
  const brv::test::TempDir dir;
  const std::string before = Laptop(dir, "before.json");
  const std::string after = Laptop(dir, "after.json", R"({"DMTF_MemoryDevice": [{"Index": 0, "Size": 8589934592}]})",
                                   R"({"host": "desk-7"})");
  for (const std::string lang : {"C", "ja_JP.UTF-8"}) {
    const Outcome r = RunProgram("diff --json " + before + " " + after, "", lang);
    EXPECT_EQ(r.status, 1) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["old"]["source"], before);
    EXPECT_EQ(doc["old"]["time"], "2026-11-30T08:00:00Z");
    EXPECT_EQ(doc["new"]["host"], "desk-7");
    EXPECT_TRUE(doc["new"]["time"].is_null());
    EXPECT_EQ(doc["categories"].size(), brv::kCategoryCount);
    // English keys and the values the grid shows, whatever the language.
    EXPECT_EQ(doc["categories"]["Memory"]["removed"], nlohmann::json::parse(R"([{"index": 2, "identity": {"SLOTs": "1"},
                                         "facts": {"Index": "2", "SLOTs": "1", "Capacity": "17179869184"}}])"));
  }
}

TEST(ProgramDiff, TextFromTheFilesCannotDriveTheTerminal) {
  const brv::test::TempDir dir;
  const std::string before = Laptop(dir, "before.json", "{}", R"({"host": "evil\u001b]0;x\u0007", "time": "t"})");
  const std::string after = Laptop(dir, "after.json", R"({"DMTF_PortableBattery": [
      {"PortableBatterySerialNumber": "\u001b[2J", "PortableBatteryDesignCapacity": 1}]})");
  const Outcome r = RunProgram("--color=always diff " + before + " " + after, "", "C.UTF-8", "TERM=xterm");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("\x1b]"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\x1b[2J"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("evil\uFFFD]0;x\uFFFD"), std::string::npos) << r.out;
  // The added part's line is shaded, as the tables' rows are.
  EXPECT_NE(r.out.find("\x1b[30;42m+ Battery Pack 1 (Serial No: \uFFFD[2J)\x1b[0m"), std::string::npos) << r.out;
}

}  // namespace diff
