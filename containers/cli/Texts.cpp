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
    {kHelpAbout, "Shows the hardware parts of this machine, one category at a time."},
    {kHelpSnapshot, "Answer the instrumentation from a captured inventory (JSON snapshot)"},
    {kHelpColor, "Colour the tables: always, never, or auto (on a terminal that is not dumb, without $NO_COLOR)"},
    {kHelpJson, "Print the inventory (or the category asked for) as one JSON document"},
    {kHelpScript, "Script mode: JSON requests one a line from FILE (- for standard input)"},
    {kHelpCategory, "One of: %1, in any case (all when omitted)"},
    {kHelpInstance, "The instance to show, counted from 1 (default 1; all of them with --json)"},
    {kHelpSysroot, "Read the live machine's files below DIR instead of / (a captured tree; also $BRVPARTS_SYSROOT)"},
    {kHelpCapture,
     "Write a snapshot of every class the control reads, to open anywhere with --snapshot. It keeps the serial numbers "
     "and addresses of this machine's parts: share it knowingly."},
    {kHelpOutput, "Write to FILE instead of standard output"},
    {kHelpServe, "Show the control on a web page served over HTTP"},
    {kHelpPort, "The port to listen on (0 picks a free one)"},
    {kHelpBind, "The address to listen on"},
    {kHelpAllowHost, "Also answer requests whose Host names NAME (a host name or address; repeat for more)"},
    {kHelpHelp, "Print this help and exit"},
    {kHelpVersion, "Print the version and exit"},
    {kHelpUsage, "Usage"},
    {kHelpOptions, "Options"},
    {kHelpPositionals, "Arguments"},
    {kHelpSubcommands, "Subcommands"},
    {kHelpSend, "Report the inventory to an inventory server (OCS Inventory NG): send URL; send --help tells more"},
    {kDiffSide, "%1 (host %2, taken %3)"},
    {kDiffThisMachine, "this machine now"},
    {kDiffTreeNow, "the tree %1 now"},
    {kDiffUnknown, "unknown"},
    {kDiffFailedOld, "%1: could not be read in the old inventory; not compared"},
    {kDiffFailedNew, "%1: could not be read in the new inventory; not compared"},
    {kDiffFailedBoth, "%1: could not be read in either inventory; not compared"},
    {kDiffNoChange, "No part has changed."},
    {kHelpDiff,
     "Show what changed in the machine's parts between two inventories: per category, the parts added (+), removed (-) "
     "and changed (~). Exit status 0 when none changed, 1 when some did, 2 for trouble."},
    {kHelpDiffOld, "The older inventory: a snapshot file, or - for this machine now"},
    {kHelpDiffNew, "The newer inventory: a snapshot file, or - for this machine now"},
    {kHelpDiffAll, "Count the facts that change by themselves too (an adapter's IP address, a dock's status)"},
    {kHelpDiffJson, "Print the changes as one JSON document"},
    {kHelpBaseline, "Mark on the page what differs from a captured inventory (JSON snapshot) taken before"},
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
