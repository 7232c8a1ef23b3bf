// brvparts: the control in a terminal. Shows one category (or the whole
// inventory) as a table, or lets a script drive the control by name.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "common/Category.h"
#include "common/Excerpt.h"
#include "containers/common/ScriptSession.h"
#include "containers/common/SourceChoice.h"
#include "control/BRVPartsCtl.h"
#include "instrumentation/linux/Capture.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/standins/grid/GridText.h"

namespace {

constexpr int kOk = 0, kCallFailed = 1, kUsage = 2;

bool ColourWanted() {
  const char* term = std::getenv("TERM");
  return isatty(STDOUT_FILENO) && std::getenv("NO_COLOR") == nullptr && !(term && std::string(term) == "dumb");
}

// The instance argument as a script would pass it: a whole number when it is one.
brv::Variant InstanceArgument(const std::string& text) {
  try {
    size_t used = 0;
    const long long n = std::stoll(text, &used);
    if (used == text.size() && n >= INT32_MIN && n <= INT32_MAX) return static_cast<int32_t>(n);
  } catch (const std::exception&) {
  }
  return text;
}

void Print(const brv::BRVPartsCtl& control, bool colour) {
  std::cout << brv::RenderGridText(control.MSHFlexGrid1().State(), colour);
}

// One call of SetSelectItem; a failure is reported on standard error.
bool Select(brv::BRVPartsCtl& control, std::string category, brv::Variant instance, int16_t& count) {
  try {
    count = control.SetSelectItem(category, instance);
    return true;
  } catch (const brv::Error& e) {
    std::cerr << "brvparts: " << brv::Excerpt(category, 64) << ": " << e.description() << " (error " << e.number() << ")\n";
    return false;
  }
}

int ShowOne(brv::BRVPartsCtl& control, const std::string& category, const brv::Variant& instance, bool colour) {
  int16_t count = 0;
  if (!Select(control, category, instance, count)) return kCallFailed;
  Print(control, colour);
  return kOk;
}

// Every category with every instance, each under a heading.
int ShowAll(brv::BRVPartsCtl& control, bool colour) {
  const std::string bold = colour ? "\x1b[1m" : "", plain = colour ? "\x1b[0m" : "";
  int status = kOk;
  for (std::string_view name : brv::kCategoryNames) {
    const std::string category(name);
    int16_t count = 0;
    if (!Select(control, category, int32_t{1}, count)) {
      status = kCallFailed;
      continue;
    }
    if (category == "Display") {
      // The display table describes the one display; it keeps no count.
      std::cout << bold << category << plain << "\n";
      Print(control, colour);
    } else if (count <= 0) {
      std::cout << bold << category << plain << ": none\n";
    }
    for (int32_t i = 1; i <= count; ++i) {
      // The other instances come from the same answer: a name the control does not
      // know redraws its current table for another instance without querying again.
      int16_t again = 0;
      if (i > 1 && !Select(control, "", i, again)) {
        status = kCallFailed;
        continue;
      }
      std::cout << bold << category << " " << i << " of " << count << plain << "\n";
      Print(control, colour);
    }
    std::cout << "\n";
  }
  return status;
}

// `brvparts serve` runs the web container, brvparts-serve, installed beside this
// program; it takes over this process.
int HandOverToWebContainer(const char* self, const std::string& snapshot, const std::string& sysroot, int port,
                           const std::string& bind, const std::vector<std::string>& allowHosts) {
  std::error_code ec;
  std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) here = std::filesystem::absolute(self, ec);
  const std::string program = (here.parent_path() / "brvparts-serve").string();
  std::vector<std::string> args = {program, "--port", std::to_string(port), "--bind", bind};
  if (!snapshot.empty()) args.insert(args.end(), {"--snapshot", snapshot});
  if (!sysroot.empty()) args.insert(args.end(), {"--sysroot", sysroot});
  for (const std::string& name : allowHosts) args.insert(args.end(), {"--allow-host", name});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::cout.flush();
  execv(program.c_str(), argv.data());
  std::cerr << "brvparts: cannot start the web container " << program << ": " << std::strerror(errno) << "\n";
  return kUsage;
}

// Writes the snapshot whole, or nothing: a file is replaced only once the
// capture is complete and on disk, and a failure leaves it as it was.
int Capture(const std::string& output) {
  std::string text;
  try {
    text = brv::WriteSnapshot(brv::CaptureSnapshot(*brv::CurrentClassSource()));
  } catch (const std::exception& e) {
    std::cerr << "brvparts: capture failed: " << e.what() << "\n";
    return kUsage;
  }
  if (output.empty() || output == "-") {
    std::cout << text << std::flush;
    return std::cout ? kOk : kCallFailed;
  }
  try {
    brv::WriteFileWhole(output, text);
  } catch (const brv::CaptureError& e) {
    std::cerr << "brvparts: " << e.what() << "\n";
    return kUsage;
  } catch (const std::exception& e) {  // no randomness for the temporary name, no memory
    std::cerr << "brvparts: " << output << ": " << e.what() << "\n";
    return kUsage;
  }
  return kOk;
}

int RunScript(const std::string& path) {
  std::ifstream file;
  if (path != "-") {
    // A folder opens, and then reads as an empty script.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      std::cerr << "brvparts: " << path << ": a folder, not a script\n";
      return kUsage;
    }
    file.open(path);
    if (!file) {
      std::cerr << "brvparts: " << path << ": cannot be read\n";
      return kUsage;
    }
  }
  std::istream& in = path == "-" ? std::cin : file;
  brv::ScriptSession session;
  std::cout << session.Startup().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
  for (std::string line; brv::ReadRequestLine(in, line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::cout << session.Handle(line).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n'
              << std::flush;
  }
  return session.failed() ? kCallFailed : kOk;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Shows the hardware parts of this machine, one category at a time."};
  app.set_version_flag("--version", "brvparts " BRV_VERSION);
  std::string snapshot, script, category, instance = "1";
  app.add_option("--snapshot", snapshot, "Answer the instrumentation from a captured inventory (JSON snapshot)")
      ->type_name("FILE");
  app.add_option("--script", script, "Script mode: JSON requests one a line from FILE (- for standard input)")
      ->type_name("FILE|-");
  app.add_option("category", category,
                 "One of: CPU, Memory, Display, HDD, \"CD,DVD\", Modem, Bluetooth, \"Battery Pack\", "
                 "\"Docking Station\", \"Network Adapter\", \"External Monitor\" (all when omitted)");
  app.add_option("instance", instance, "The instance to show, counted from 1 (default 1)");
  std::string sysroot, output;
  if (const char* env = std::getenv("BRVPARTS_SYSROOT")) sysroot = env;
  app.add_option("--sysroot", sysroot,
                 "Read the live machine's files below DIR instead of / (a captured tree; also $BRVPARTS_SYSROOT)")
      ->type_name("DIR");
  CLI::App* capture = app.add_subcommand(
      "capture",
      "Write a snapshot of every class the control reads, to open anywhere with --snapshot. It keeps the serial "
      "numbers and addresses of this machine's parts: share it knowingly.");
  capture->add_option("-o,--output", output, "Write to FILE instead of standard output")->type_name("FILE");
  int port = 8080;
  std::string bind = "127.0.0.1";
  CLI::App* serve = app.add_subcommand("serve", "Show the control on a web page served over HTTP");
  serve->add_option("--snapshot", snapshot, "Answer the instrumentation from a captured inventory (JSON snapshot)")
      ->type_name("FILE");
  serve->add_option("--port", port, "The port to listen on (0 picks a free one)")
      ->check(CLI::Range(0, 65535))->capture_default_str();
  serve->add_option("--bind", bind, "The address to listen on")->capture_default_str();
  std::vector<std::string> allowHosts;
  serve->add_option("--allow-host", allowHosts,
                    "Also answer requests whose Host names NAME (a host name or address; repeat for more)")
      ->type_name("NAME");
  try {
    app.parse(argc, argv);
    if (!script.empty() && !category.empty()) throw CLI::ValidationError("--script takes no category");
    if (*serve && (!script.empty() || !category.empty())) throw CLI::ValidationError("serve takes no --script or category");
    if (*capture && (!script.empty() || !category.empty())) {
      throw CLI::ValidationError("capture takes no --script or category");
    }
    if (!snapshot.empty() && !sysroot.empty()) throw CLI::ValidationError("--snapshot and --sysroot exclude each other");
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::cerr << "brvparts: " << e.what() << "\n";
    return kUsage;
  }

  if (*serve) return HandOverToWebContainer(argv[0], snapshot, sysroot, port, bind, allowHosts);
  if (!brv::ChooseClassSource(snapshot, sysroot, std::cerr)) return kUsage;

  if (*capture) return Capture(output);
  if (!script.empty()) return RunScript(script);
  brv::BRVPartsCtl control;
  if (control.startupError()) {
    std::cerr << "brvparts: start-up failed: " << control.startupError()->description() << "\n";
    return kCallFailed;
  }
  const bool colour = ColourWanted();
  if (category.empty()) return ShowAll(control, colour);
  return ShowOne(control, category, InstanceArgument(instance), colour);
}
