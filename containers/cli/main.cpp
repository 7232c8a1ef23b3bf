// brvparts: the control in a terminal. Shows one category (or the whole
// inventory) as a table, or lets a script drive the control by name.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "common/Category.h"
#include "common/Excerpt.h"
#include "common/Text.h"
#include "containers/cli/CategoryArg.h"
#include "containers/cli/Diff.h"
#include "containers/cli/Texts.h"
#include "containers/cli/WholeFile.h"
#include "containers/common/DetailText.h"
#include "containers/common/GridText.h"
#include "containers/common/GuardedMain.h"
#include "containers/common/InventoryJson.h"
#include "containers/common/ScriptSession.h"
#include "containers/common/Session.h"
#include "containers/common/SourceChoice.h"
#include "containers/common/Units.h"
#include "control/BRVPartsCtl.h"
#include "instrumentation/ClassSource.h"
#include "instrumentation/snapshot/Capture.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "inventory/Details.h"

namespace {

constexpr int kOk = 0, kCallFailed = 1, kUsage = 2;

// An environment variable, "" when unset.
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// What this terminal shows. For --color=auto|always|never: colour only on a
// terminal that is not "dumb" and without NO_COLOR, unless asked for; 24-bit
// colour only where COLORTERM says so, 256 where TERM does, else the basic 8.
// Box drawing only where the locale's characters are UTF-8 (the first of LC_ALL,
// LC_CTYPE and LANG that is set names it); plain ASCII elsewhere.
bool Utf8Locale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const std::string value = Env(name);
    if (value.empty()) continue;
    return brv::ContainsNoCase(value, "utf-8") || brv::ContainsNoCase(value, "utf8");
  }
  return false;
}

// Columns the table may take: the terminal's width, else COLUMNS, else no limit (0).
size_t Columns() {
  winsize size{};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const std::string columns = Env("COLUMNS");
  if (columns.size() < 6) return brv::ParseInteger<size_t>(columns).value_or(0);
  return 0;
}

brv::TextLook LookOfTerminal(const std::string& colourChoice) {
  brv::TextLook look;
  look.boxDrawing = Utf8Locale();
  look.width = Columns();
  const std::string term = Env("TERM");
  const bool colour = colourChoice == "always" ||
                      (colourChoice == "auto" && isatty(STDOUT_FILENO) && Env("NO_COLOR").empty() && term != "dumb");
  if (colour) {
    const std::string colourTerm = Env("COLORTERM");
    const bool has256 = term.size() >= 9 && term.compare(term.size() - 9, 9, "-256color") == 0;
    look.colours = colourTerm == "truecolor" || colourTerm == "24bit" ? brv::Colours::kTrue
                   : has256                                           ? brv::Colours::k256
                                                                      : brv::Colours::kBasic;
  }
  return look;
}

// The grid as the control drew it; on a terminal, sizes, clocks and capacities
// carry their units for a person to read ("4200 MHz"), while a pipe or a file
// gets the bare values scripts parse.
void Print(const brv::BRVPartsCtl& control, const std::string& category, const brv::TextLook& look) {
  brv::GridState state = control.MSHFlexGrid1().State();
  const std::optional<brv::Category> which = brv::CategoryNamed(category);
  if (which && isatty(STDOUT_FILENO) && state.cols >= 2) {
    for (int32_t row = 1; row < state.rows; ++row)
      state.text[row][1] = brv::WithUnit(state.text[row][1], brv::GridUnit(*which, row));
  }
  std::cout << brv::RenderGridText(state, look);
}

// Each detail of a part under its grid, captioned in the user's language, its
// value with its unit written out; the empty text where it is unknown.
void PrintDetails(const std::vector<brv::PartDetail>& parts, const brv::TextLook& look) {
  if (parts.empty()) return;
  const brv::SayWord say = brv::UserMessages();
  brv::GridState state;
  state.cols = 2;
  state.rows = static_cast<int32_t>(parts.size()) + 1;
  state.text.push_back({say(2401), ""});
  for (const brv::PartDetail& part : parts) {
    const std::string value = brv::DetailForPerson(part, say);
    state.text.push_back({say(part.detail->caption), value.empty() ? say(211) : value});
  }
  state.fill.assign(static_cast<size_t>(state.rows), std::vector<std::optional<int32_t>>(2));
  std::cout << brv::RenderGridText(state, look);
}

// The heading over one instance: "CPU 1 of 2"; the name alone for a category
// that keeps no count.
std::string Heading(const std::string& category, int32_t index, std::optional<int32_t> count) {
  if (!count) return category;
  return brv::cli::Say(brv::cli::kHeading, {category, std::to_string(index), std::to_string(*count)});
}

// Text mode: each instance under its heading, "CD,DVD: none" for a category
// without any; `only` shows one instance instead of all.
int ShowCategory(brv::Session& session, const std::string& category, std::optional<int32_t> only,
                 const brv::TextLook& look, bool details) {
  const bool colour = look.colours != brv::Colours::kNone;
  const std::string bold = colour ? "\x1b[1m" : "", plain = colour ? "\x1b[0m" : "";
  bool any = false;
  int32_t count = 0;
  std::optional<std::vector<std::vector<brv::PartDetail>>> parts;  // read once, at the first instance
  const brv::Walked walked =
      brv::WalkCategory(session, category, only, count, [&](int32_t index, std::optional<int32_t> n) {
        any = true;
        std::cout << bold << Heading(category, index, n) << plain << "\n";
        Print(session.control(), category, look);
        const std::optional<brv::Category> which = brv::CategoryNamed(category);
        if (!details || !which) return;
        if (!parts) parts = brv::ReadDetails(*which, count);
        if (static_cast<size_t>(index) <= parts->size()) PrintDetails((*parts)[static_cast<size_t>(index) - 1], look);
      });
  // A list the control cut at its 16-bit count is said to be cut.
  const auto past =
      walked == brv::Walked::PastTheCount || only ? std::nullopt : brv::InstancesPastTheCount(category, count);
  if (past)
    std::cerr << "brvparts: " << brv::PastTheCountText(category, *past) << ": only the first 32,767 are shown\n";
  switch (walked) {
    case brv::Walked::Failed: return kCallFailed;
    case brv::Walked::PastTheCount:
      std::cerr << "brvparts: " << brv::cli::HasInstances(category, count) << "\n";
      return kUsage;
    case brv::Walked::Shown: break;
  }
  if (past) return kCallFailed;
  if (!any) std::cout << bold << brv::cli::Say(brv::cli::kNone, {category}) << plain << "\n";
  return kOk;
}

// Every category with every instance, each under a heading.
int ShowAll(brv::Session& session, const brv::TextLook& look, bool details) {
  int status = kOk;
  for (std::string_view name : brv::kCategoryNames) {
    if (ShowCategory(session, std::string(name), std::nullopt, look, details) != kOk) status = kCallFailed;
    std::cout << "\n";
  }
  return status;
}

// --json: the categories asked for as one document on standard output.
int ShowJson(brv::Session& session, std::optional<brv::Category> only, std::optional<int32_t> instance) {
  brv::PastTheCount past;
  const std::optional<nlohmann::ordered_json> document =
      brv::InventoryDocument(session, only, instance, &past, nullptr, nullptr, true);
  if (!document) {
    std::cerr << "brvparts: " << brv::cli::HasInstances(past.category, past.count) << "\n";
    return kUsage;
  }
  std::cout << brv::EscapeFormatCharacters(
                   document->dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace))
            << "\n";
  return kOk;
}

// `brvparts serve` runs the web container, brvparts-serve, installed beside this
// program; it takes over this process.
int HandOverToWebContainer(const char* self, const std::string& snapshot, const std::string& sysroot, int port,
                           const std::string& bind, const std::vector<std::string>& allowHosts,
                           const std::string& baseline) {
  std::error_code ec;
  std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) here = std::filesystem::absolute(self, ec);
  const std::string program = (here.parent_path() / "brvparts-serve").string();
  std::vector<std::string> args = {program, "--port", std::to_string(port), "--bind", bind};
  if (!snapshot.empty()) args.insert(args.end(), {"--snapshot", snapshot});
  if (!sysroot.empty()) args.insert(args.end(), {"--sysroot", sysroot});
  if (!baseline.empty()) args.insert(args.end(), {"--baseline", baseline});
  for (const std::string& name : allowHosts) args.insert(args.end(), {"--allow-host", name});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::cout.flush();
  execv(program.c_str(), argv.data());
  std::cerr << "brvparts: cannot start the web container " << program << ": " << std::strerror(errno) << "\n";
  return kUsage;
}

// `brvparts send ...` runs brvparts-send, installed beside this program, with
// the arguments after "send" (and the source chosen before it); it takes over
// this process.
int HandOverToSender(const char* self, const std::string& snapshot, const std::string& sysroot,
                     const std::vector<std::string>& rest) {
  std::error_code ec;
  std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) here = std::filesystem::absolute(self, ec);
  const std::string program = (here.parent_path() / "brvparts-send").string();
  std::vector<std::string> args = {program};
  if (!snapshot.empty()) args.insert(args.end(), {"--snapshot", snapshot});
  if (!sysroot.empty()) args.insert(args.end(), {"--sysroot", sysroot});
  args.insert(args.end(), rest.begin(), rest.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::cout.flush();
  execv(program.c_str(), argv.data());
  std::cerr << "brvparts: cannot start " << program << ": " << std::strerror(errno) << "\n";
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
  std::cout << brv::EscapeFormatCharacters(
                   session.Startup().dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace))
            << '\n';
  for (std::string line; brv::ReadRequestLine(in, line);) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    std::cout << brv::EscapeFormatCharacters(
                     session.Handle(line).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace))
              << '\n'
              << std::flush;
  }
  return session.failed() ? kCallFailed : kOk;
}

}  // namespace

namespace {

using brv::cli::Say;
namespace t = brv::cli;

// What the command line asks for.
struct Request {
  std::string snapshot, script, sysroot, output, baseline;
  std::vector<std::string> words;  // the category and instance, as typed
  std::string colourChoice = "auto";
  bool json = false;
  bool details = false;
  brv::cli::DiffRequest diff;
  int port = 8080;
  std::string bind = "127.0.0.1";
  std::vector<std::string> allowHosts;
  brv::cli::Selection selection;
};

struct Subcommands {
  CLI::App *capture, *diff, *serve, *send;
};

// The options and subcommands, with --help in the user's language: its labels
// and groups, and every description.
Subcommands Describe(CLI::App& app, Request& r) {
  app.get_formatter()->label("Usage", Say(t::kHelpUsage, {}));
  app.get_formatter()->label("Positionals", Say(t::kHelpPositionals, {}));
  app.option_defaults()->group(Say(t::kHelpOptions, {}));
  app.set_help_flag("-h,--help", Say(t::kHelpHelp, {}));
  app.set_version_flag("--version", "brvparts " BRV_VERSION, Say(t::kHelpVersion, {}));
  app.add_option("--snapshot", r.snapshot, Say(t::kHelpSnapshot, {}))->type_name("FILE");
  app.add_option("--color", r.colourChoice, Say(t::kHelpColor, {}))
      ->check(CLI::IsMember({"auto", "always", "never"}))
      ->type_name("WHEN")
      ->capture_default_str();
  app.add_flag("--json", r.json, Say(t::kHelpJson, {}));
  app.add_flag("-l,--details", r.details, Say(t::kHelpDetails, {}));
  app.add_option("--script", r.script, Say(t::kHelpScript, {}))->type_name("FILE|-");
  // One list, so that a name of two words needs no quotes; the instance is its last word.
  app.add_option("category", r.words,
                 Say(t::kHelpCategory, {brv::cli::CategoryList()}) + " " + Say(t::kHelpInstance, {}))
      ->type_name("[INSTANCE]");
  if (const char* env = std::getenv("BRVPARTS_SYSROOT")) r.sysroot = env;
  app.add_option("--sysroot", r.sysroot, Say(t::kHelpSysroot, {}))->type_name("DIR");
  Subcommands s{};
  s.capture = app.add_subcommand("capture", Say(t::kHelpCapture, {}));
  s.capture->add_option("-o,--output", r.output, Say(t::kHelpOutput, {}))->type_name("FILE");
  s.diff = app.add_subcommand("diff", Say(t::kHelpDiff, {}));
  s.diff->add_option("old", r.diff.oldSide, Say(t::kHelpDiffOld, {}))->required()->type_name("OLD");
  s.diff->add_option("new", r.diff.newSide, Say(t::kHelpDiffNew, {}))->required()->type_name("NEW");
  s.diff->add_flag("--all", r.diff.all, Say(t::kHelpDiffAll, {}));
  s.diff->add_flag("--json", r.diff.json, Say(t::kHelpDiffJson, {}));
  s.diff->fallthrough();  // --sysroot and --color may follow the subcommand too
  s.serve = app.add_subcommand("serve", Say(t::kHelpServe, {}));
  s.serve->add_option("--snapshot", r.snapshot, Say(t::kHelpSnapshot, {}))->type_name("FILE");
  s.serve->add_option("--port", r.port, Say(t::kHelpPort, {}))->check(CLI::Range(0, 65535))->capture_default_str();
  s.serve->add_option("--bind", r.bind, Say(t::kHelpBind, {}))->capture_default_str();
  s.serve->add_option("--allow-host", r.allowHosts, Say(t::kHelpAllowHost, {}))->type_name("NAME");
  s.serve->add_option("--baseline", r.baseline, Say(t::kHelpBaseline, {}))->type_name("FILE");
  s.send = app.add_subcommand("send", Say(t::kHelpSend, {}));
  // Everything after "send" is the sender's to read, its --help included.
  s.send->prefix_command();
  s.send->set_help_flag();
  for (CLI::App* sub : {s.capture, s.diff, s.serve}) {
    sub->group(Say(t::kHelpSubcommands, {}));
    if (CLI::Option* help = sub->get_help_ptr()) help->group(Say(t::kHelpOptions, {}));
  }
  app.footer(Say(t::kHelpFooter, {}));  // after the subcommands, which would take it as theirs
  s.send->group(Say(t::kHelpSubcommands, {}));
  return s;
}

// Refuses the options that do not go together.
void CheckCombinations(const Request& r, const Subcommands& s) {
  if (!r.script.empty() && !r.words.empty()) throw CLI::ValidationError("--script takes no category");
  if (*s.serve && (!r.script.empty() || !r.words.empty()))
    throw CLI::ValidationError("serve takes no --script or category");
  if (*s.capture && (!r.script.empty() || !r.words.empty())) {
    throw CLI::ValidationError("capture takes no --script or category");
  }
  if (!r.snapshot.empty() && !r.sysroot.empty())
    throw CLI::ValidationError("--snapshot and --sysroot exclude each other");
  if (r.json && (!r.script.empty() || *s.serve || *s.capture))
    throw CLI::ValidationError("--json shows the inventory only");
  if (r.details && (!r.script.empty() || *s.serve || *s.capture || *s.diff))
    throw CLI::ValidationError("--details shows the inventory only");
  if (*s.diff && (!r.script.empty() || !r.words.empty() || !r.snapshot.empty())) {
    throw CLI::ValidationError("diff takes its two inventories as OLD and NEW, not --snapshot, --script or a category");
  }
}

// The inventory of the chosen source, as tables or JSON.
int ShowInventory(const Request& r) {
  // With the details, each class is read once for the tables and the details alike.
  const brv::ReadEachClassOnce once(r.details);
  brv::Session session(&std::cerr);
  if (const auto& e = session.control().startupError()) {
    std::cerr << "brvparts: start-up failed: " << e->description() << "\n";
    return kCallFailed;
  }
  const brv::TextLook look = LookOfTerminal(r.colourChoice);
  int status = kOk;
  if (r.json) {
    status = ShowJson(session, r.selection.category, r.selection.instance);
  } else if (!r.selection.category) {
    status = ShowAll(session, look, r.details);
  } else {
    status =
        ShowCategory(session, std::string(brv::NameOf(*r.selection.category)), r.selection.instance, look, r.details);
  }
  if (status == kOk && session.failed()) status = kCallFailed;
  return status;
}

// Does what the command line asks, once it is read.
int Dispatch(const char* self, Request& r, const Subcommands& s) {
  if (*s.send) {
    if (!r.script.empty() || !r.words.empty() || r.json) {
      std::cerr << "brvparts: send takes no --script, --json or category\n";
      return kUsage;
    }
    if (!r.snapshot.empty() && !r.sysroot.empty()) {
      std::cerr << "brvparts: --snapshot and --sysroot exclude each other\n";
      return kUsage;
    }
    return HandOverToSender(self, r.snapshot, std::getenv("BRVPARTS_SYSROOT") ? "" : r.sysroot, s.send->remaining());
  }
  if (*s.serve) return HandOverToWebContainer(self, r.snapshot, r.sysroot, r.port, r.bind, r.allowHosts, r.baseline);
  if (*s.diff) {
    r.diff.sysroot = r.sysroot;
    r.diff.json = r.diff.json || r.json;
    r.diff.look = LookOfTerminal(r.colourChoice);
    return brv::cli::RunDiff(r.diff);
  }
  if (!brv::ChooseClassSource(r.snapshot, r.sysroot, std::cerr)) return kUsage;
  if (*s.capture) return Capture(r.output);
  if (!r.script.empty()) return RunScript(r.script);
  return ShowInventory(r);
}

int Run(int argc, char** argv) {
  CLI::App app{Say(t::kHelpAbout, {})};
  Request request;
  const Subcommands subcommands = Describe(app, request);
  try {
    app.parse(argc, argv);
    CheckCombinations(request, subcommands);
    request.selection = brv::cli::ReadSelection(request.words);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::string program = "brvparts";
    for (const CLI::App* sub : {subcommands.capture, subcommands.diff, subcommands.serve}) {
      if (sub->parsed()) program += " " + sub->get_name();
    }
    std::cerr << "brvparts: " << Say(t::kSeeHelp, {e.what(), program}) << "\n";
    return kUsage;
  } catch (const brv::cli::SelectionError& e) {
    std::cerr << "brvparts: " << e.what() << "\n";
    return kUsage;
  }
  return Dispatch(argv[0], request, subcommands);
}

}  // namespace

int main(int argc, char** argv) {
  return brv::GuardedMain([&] { return Run(argc, argv); });
}
