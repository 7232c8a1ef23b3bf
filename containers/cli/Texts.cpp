#include "containers/cli/Texts.h"

#include <map>
#include <memory>

#include "platform/strings/Resources.h"

namespace brv::cli {
namespace {

// Used when no catalogue can be found.
const std::map<int32_t, std::string> kEnglish = {
    {kHeading, "%1 %2 of %3"},
    {kNone, "%1: none"},
    {kHasInstances, "%1 has %2 instances"},
    {kHasOneInstance, "%1 has 1 instance"},
    {kHasNoInstances, "%1 has no instances"},
    {kUnknownCategory, "no category is called \"%1\"; did you mean \"%2\"? The categories: %3"},
    {kBadInstance, "the instance is a positive whole number, counted from 1, not \"%1\""},
    {kNoSuchCategory, "no category is called \"%1\". The categories: %2"},
    {kAmbiguousCategory, "\"%1\" could be any of %2; type more of the name"},
    {kAllInstances, "all"},
    {kCategoryWords, "cpus|processor|processors"},
    {static_cast<Text>(kCategoryWords + 1), "ram|mem|dimm|dimms"},
    {static_cast<Text>(kCategoryWords + 2), "gpu|video|screen|panel|graphics"},
    {static_cast<Text>(kCategoryWords + 3), "disk|disks|drive|drives|ssd|nvme|hdds"},
    {static_cast<Text>(kCategoryWords + 4), "cd|dvd|optical|cdrom|dvdrom"},
    {static_cast<Text>(kCategoryWords + 5), "modems"},
    {static_cast<Text>(kCategoryWords + 6), "bt"},
    {static_cast<Text>(kCategoryWords + 7), "battery|batteries"},
    {static_cast<Text>(kCategoryWords + 8), "dock"},
    {static_cast<Text>(kCategoryWords + 9), "net|nic|nics|network|ethernet|wifi|adapter|adapters"},
    {static_cast<Text>(kCategoryWords + 10), "monitor|monitors"},
    {kHelpAbout,
     "Shows the hardware parts of this machine: with no argument every part of every category; with a CATEGORY every "
     "part of it; with an INSTANCE number, that one."},
    {kHelpSnapshot, "Read a saved inventory (made by brvparts capture) instead of this machine"},
    {kHelpColor, "Shade the tables: auto (on a terminal, unless NO_COLOR is set or TERM is dumb), always, or never"},
    {kHelpJson, "Print the parts as JSON, for scripts and jq, instead of tables"},
    {kHelpScript, "Let a script drive the control: JSON requests, one a line, from FILE (- for standard input)"},
    {kHelpCategory,
     "Which parts to show: %1, or a word for one (disk, ram, gpu, net, battery, ...), in any case, or its first "
     "letters; every category when left out."},
    {kHelpInstance, "INSTANCE: which one of them, counted from 1; every one when left out or \"all\"."},
    {kHelpSysroot, "Read another machine's files, copied below DIR, instead of this machine's (also BRVPARTS_SYSROOT)"},
    {kHelpCapture,
     "Save this machine's inventory in a file, to show or compare later (--snapshot, diff). It holds serial numbers "
     "and addresses: share it knowingly."},
    {kHelpOutput, "Write to FILE (readable by you alone) instead of standard output"},
    {kHelpServe, "Show the parts on a web page"},
    {kHelpPort, "Port to listen on (0 picks a free one)"},
    {kHelpBind, "Address to listen on; other machines reach the page only at an address other than 127.0.0.1"},
    {kHelpAllowHost,
     "Also answer requests made to NAME, a host name or address the machine is known by (repeat for more)"},
    {kHelpHelp, "Show this help and exit"},
    {kHelpVersion, "Show the version and exit"},
    {kHelpUsage, "Usage"},
    {kHelpOptions, "Options"},
    {kHelpPositionals, "Arguments"},
    {kHelpSubcommands, "Subcommands"},
    {kHelpSend,
     "Report the parts to an inventory server (OCS Inventory NG): brvparts send URL; brvparts send --help tells more"},
    {kSeeHelp, "%1; see %2 --help"},
    {kHelpFooter,
     "Exit status: 0 when every part was read, 1 when something could not be read, 2 for a usage error. Examples: "
     "brvparts disk; brvparts net 2; brvparts --snapshot saved.json memory. man brvparts tells more."},
    {kDiffSide, "%1 (host %2, taken %3)"},
    {kDiffThisMachine, "this machine now"},
    {kDiffTreeNow, "the tree %1 now"},
    {kDiffUnknown, "unknown"},
    {kDiffFailedOld, "%1: could not be read in the old inventory; not compared"},
    {kDiffFailedNew, "%1: could not be read in the new inventory; not compared"},
    {kDiffFailedBoth, "%1: could not be read in either inventory; not compared"},
    {kDiffNoChange, "No part has changed."},
    {kHelpDiff,
     "Show what changed in the parts between two inventories: parts added (+), removed (-) and changed (~). Exit "
     "status 0 when nothing changed, 1 when something did, 2 for trouble."},
    {kHelpDiffOld,
     "The earlier inventory: a file made by brvparts capture or brvparts --json, or - for this machine now"},
    {kHelpDiffNew,
     "The later inventory: a file made by brvparts capture or brvparts --json, or - for this machine now"},
    {kHelpDiffAll, "Also count facts that change by themselves (an adapter's IP address, a dock's status)"},
    {kHelpDiffJson, "Print the changes as JSON"},
    {kHelpDetails,
     "Also show each part's details under its table: cores and caches, memory type and speed, disk kind, battery wear, "
     "link speed, ..."},
    {kHelpBaseline, "Mark on the page what changed since a saved inventory (made by brvparts capture)"},
};

std::string Template(Text number) {
  static const std::unique_ptr<Resources> resources = []() -> std::unique_ptr<Resources> {
    try {
      return std::make_unique<Resources>();
    } catch (const std::exception&) {
      return nullptr;
    }
  }();
  if (resources) {
    try {
      return resources->GetResourceString(number);
    } catch (const std::exception&) {
    }
  }
  return kEnglish.at(number);
}

}  // namespace

std::string English(Text number) { return kEnglish.at(number); }

std::string Say(Text number, std::initializer_list<std::string> args) {
  const std::string text = Template(number);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9' &&
        static_cast<size_t>(text[i + 1] - '1') < args.size()) {
      out += *(args.begin() + (text[i + 1] - '1'));
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string HasInstances(const std::string& category, int32_t count) {
  if (count <= 0) return Say(kHasNoInstances, {category});
  if (count == 1) return Say(kHasOneInstance, {category});
  return Say(kHasInstances, {category, std::to_string(count)});
}

}  // namespace brv::cli
