#include "containers/cli/Diff.h"

#include <exception>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/Category.h"
#include "common/Excerpt.h"
#include "common/Text.h"
#include "containers/cli/Texts.h"
#include "containers/common/InventoryJson.h"
#include "containers/common/PartDiff.h"
#include "containers/common/Session.h"
#include "instrumentation/LiveMachine.h"
#include "instrumentation/snapshot/Snapshot.h"

namespace brv::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kSame = 0, kChanged = 1, kTrouble = 2;

// The shades of the three kinds of line, as the tables shade their rows
// (0x00BBGGRR), strong enough to stay apart in a terminal's 8 basic colours.
constexpr int32_t kRemovedFill = 0x5A5AE6;  // RGB(230, 90, 90)
constexpr int32_t kAddedFill = 0x64D264;    // RGB(100, 210, 100)
constexpr int32_t kChangedFill = 0x50D2E6;  // RGB(230, 210, 80)

// One of the two inventories: where it comes from, where and when it was taken,
// and the control's rendering of it.
struct Side {
  std::string given;  // as on the command line
  std::shared_ptr<const ClassSource> source;
  Provenance origin;
  Json document;
  CaptionsShown captions;
  bool trouble = false;
};

// A document as `brvparts --json` prints it: its categories (each null or a
// list of parts, each part caption → text or null) and the messages and errors
// of drawing them. Anything else is refused, naming the file.
void CheckInventoryDocument(const Json& doc, const std::string& given) {
  const auto refuse = [&](const std::string& why) { return SnapshotError(given + ": " + why); };
  for (const auto& [category, parts] : doc["categories"].items()) {
    if (!CategoryNamed(category)) throw refuse("\"" + Excerpt(category) + "\" is no category");
    if (parts.is_null()) continue;
    if (!parts.is_array()) throw refuse(category + " is not a list of parts");
    if (parts.size() > 32767) throw refuse(category + " lists more parts than the control counts (32,767)");
    for (const Json& part : parts) {
      if (!part.is_object()) throw refuse("a part of " + category + " is not an object");
      for (const auto& [caption, value] : part.items()) {
        if (caption == "details" && value.is_object()) {
          for (const auto& [name, detail] : value.items()) {
            if (detail.is_object()) throw refuse(category + ": the detail \"" + Excerpt(name) + "\" is no value");
          }
          continue;
        }
        if (!value.is_string() && !value.is_null())
          throw refuse(category + ": \"" + Excerpt(caption) + "\" is no text");
      }
    }
  }
  for (const char* list : {"messages", "errors"}) {
    if (!doc.contains(list)) continue;
    if (!doc[list].is_array()) throw refuse(std::string("\"") + list + "\" is not a list");
    for (const Json& entry : doc[list]) {
      if (!entry.is_object()) throw refuse(std::string("an entry of \"") + list + "\" is not an object");
    }
  }
}

// Opens a side: "-" is the live machine (or the tree `sysroot` names); a file
// is read whole here, so that a second file that cannot be read refuses the run
// before anything is shown. A capture is drawn by the control later; a document
// of `brvparts --json` already is the control's drawing, and is taken as it is.
void Open(Side& side, const std::string& sysroot) {
  if (side.given == "-") {
    std::error_code ec;
    if (!sysroot.empty() && !std::filesystem::is_directory(sysroot, ec)) {
      throw SnapshotError(sysroot + ": not a folder");
    }
    side.source = OpenLiveMachine(sysroot.empty() ? "/" : sysroot);
    return;
  }
  Json doc = ParseSnapshotJson(ReadSnapshotText(side.given), side.given);
  if (doc.is_object() && !doc.contains("format") && doc.contains("categories") && doc["categories"].is_object()) {
    CheckInventoryDocument(doc, side.given);
    side.document = std::move(doc);
    return;
  }
  if (doc.is_object() && !doc.contains("format")) {
    throw SnapshotError(side.given +
                        ": neither a capture (brvparts capture -o FILE makes one) nor an inventory of brvparts --json");
  }
  side.source = std::make_shared<SnapshotSource>(SnapshotFromJson(doc, side.given));
}

// Draws a side's inventory with a control of its own (a document read whole
// is drawn already), reporting on standard error what could not be read,
// named by the side.
void Draw(Side& side) {
  const std::string name = side.given == "-" ? "this machine" : Excerpt(side.given, 64);
  if (side.source) {
    UseClassSource(side.source);
    side.origin = side.source->Origin();
    Session session;
    if (const auto& e = session.control().startupError()) {
      std::cerr << "brvparts: " << name << ": start-up failed: " << Excerpt(e->description(), 200) << "\n";
      side.trouble = true;
    }
    side.document = *InventoryDocument(session, std::nullopt, std::nullopt, nullptr, &side.captions, nullptr, true);
  }
  const auto text = [](const Json& entry, const char* member) {
    const auto it = entry.find(member);
    return it != entry.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  // A message of every instance is told once, with how often.
  RepeatedLines told(&std::cerr);
  for (const Json& b : side.document.value("messages", Json::array())) {
    told.Tell("brvparts: " + name + ": " + Excerpt(text(b, "category"), 64) + ": " + Excerpt(text(b, "title"), 200) +
              ": " + Excerpt(text(b, "prompt"), 200));
    side.trouble = true;
  }
  for (const Json& e : side.document.value("errors", Json::array())) {
    const auto number = e.find("number");
    told.Tell("brvparts: " + name + ": " + Excerpt(text(e, "category"), 64) + ": " +
              Excerpt(text(e, "description"), 200) + " (error " +
              (number != e.end() && number->is_number_integer() ? number->dump() : "?") + ")");
    side.trouble = true;
  }
}

Json SideJson(const Side& side) {
  const auto text = [](const std::optional<std::string>& t) { return t ? Json(*t) : Json(); };
  return Json{{"source", side.given},
              {"host", text(side.origin.host)},
              {"time", text(side.origin.time)},
              {"messages", side.document["messages"]},
              {"errors", side.document["errors"]}};
}

class TextWriter {
 public:
  TextWriter(const TextLook& look, const Side& before, const Side& after)
      : look_(look), before_(before), after_(after) {}

  std::string Heading(const std::string& mark, const Side& side, const std::string& sysroot) const {
    const std::string unknown = Say(kDiffUnknown, {});
    const std::string where = side.given != "-" ? Printable(side.given)
                              : sysroot.empty() ? Say(kDiffThisMachine, {})
                                                : Say(kDiffTreeNow, {Printable(sysroot)});
    return Bold(mark + " " +
                Say(kDiffSide, {where, side.origin.host ? Printable(*side.origin.host) : unknown,
                                side.origin.time ? Printable(*side.origin.time) : unknown})) +
           "\n";
  }

  // "- HDD 1 (Serial No: S3TN...)" and the part's other facts below it.
  std::string Whole(char mark, int32_t fill, const std::string& category, const Part& part) const {
    std::string out = Line(mark, fill, Label(category, std::to_string(part.index), part.identity));
    for (const auto& [caption, value] : part.facts.items()) {
      if (caption == PositionCaption() || caption == "details" ||
          (part.identity.is_object() && part.identity.contains(caption)))
        continue;
      out += "    " + Caption(category, caption) + ": " + Value(value) + "\n";
    }
    return out;
  }

  // "~ Memory 2 (SLOTs: 1)" and each changed fact, old → new.
  std::string Changed(const std::string& category, const ChangedPart& part) const {
    const std::string index = part.oldIndex == part.newIndex
                                  ? std::to_string(part.newIndex)
                                  : std::to_string(part.oldIndex) + Arrow() + std::to_string(part.newIndex);
    std::string out = Line('~', kChangedFill, Label(category, index, part.identity));
    for (const auto& [caption, change] : part.facts.items()) {
      out += "    " + Caption(category, caption) + ": " + Value(change["before"]) + Arrow() + Value(change["after"]) +
             "\n";
    }
    return out;
  }

  std::string Failed(const CategoryChanges& c) const {
    const Text text = c.failedOld && c.failedNew ? kDiffFailedBoth : c.failedOld ? kDiffFailedOld : kDiffFailedNew;
    return Say(text, {c.category}) + "\n";
  }

 private:
  std::string Bold(const std::string& text) const {
    return look_.colours == Colours::kNone ? text : "\x1b[1m" + text + "\x1b[0m";
  }

  std::string Line(char mark, int32_t fill, const std::string& text) const {
    const std::string shade = Shade(fill, look_.colours);
    const std::string line = std::string(1, mark) + " " + text;
    return shade.empty() ? line + "\n" : shade + line + "\x1b[0m\n";
  }

  std::string Arrow() const { return look_.boxDrawing ? " \xE2\x86\x92 " : " -> "; }  // →

  // A caption as the grid shows it in the user's language.
  std::string Caption(const std::string& category, const std::string& english) const {
    for (const Side* side : {&after_, &before_}) {
      const auto c = side->captions.find(category);
      if (c == side->captions.end()) continue;
      if (const auto found = c->second.find(english); found != c->second.end()) return Printable(found->second);
    }
    return Printable(empty_.Shown(english));
  }

  std::string Value(const Json& value) const {
    if (value.is_string()) return Printable(value.get<std::string>());
    if (value.is_null() || (value.is_array() && value.empty())) return Printable(empty_.emptyText());
    return Printable(value.dump(-1, ' ', false, Json::error_handler_t::replace));  // a detail's number, flag or list
  }

  std::string Label(const std::string& category, const std::string& index, const Json& identity) const {
    std::string label = category + " " + index;
    if (!identity.is_object()) return label;
    std::string known;
    for (const auto& [caption, value] : identity.items()) {
      known += (known.empty() ? "" : ", ") + Caption(category, caption) + ": " + Value(value);
    }
    return label + " (" + known + ")";
  }

  TextLook look_;
  const Side& before_;
  const Side& after_;
  EnglishCaptions empty_;
};

}  // namespace

int RunDiff(const DiffRequest& request) {
  Side before{request.oldSide, nullptr, {}, {}, {}, false};
  Side after{request.newSide, nullptr, {}, {}, {}, false};
  try {
    // The two sides are read at once, each on a core of its own; the old
    // side's failure is told first, as when they are read in turn.
    std::future<void> newSide = std::async(std::launch::async, [&] { Open(after, request.sysroot); });
    std::exception_ptr oldFailed;
    try {
      Open(before, request.sysroot);
    } catch (...) {
      oldFailed = std::current_exception();
    }
    newSide.wait();
    if (oldFailed) std::rethrow_exception(oldFailed);
    newSide.get();
  } catch (const SnapshotError& e) {
    std::cerr << "brvparts: " << e.what() << "\n";
    return kTrouble;
  }
  Draw(before);
  Draw(after);
  const InventoryChanges changes = CompareInventories(before.document, after.document, request.all);
  const bool trouble = before.trouble || after.trouble || changes.AnyFailure();

  if (request.json) {
    const Json document = {{"old", SideJson(before)}, {"new", SideJson(after)}, {"categories", ChangesJson(changes)}};
    std::cout << brv::EscapeFormatCharacters(document.dump(2, ' ', false, Json::error_handler_t::replace)) << "\n";
  } else {
    const TextWriter writer(request.look, before, after);
    std::string out = writer.Heading("---", before, request.sysroot) + writer.Heading("+++", after, request.sysroot);
    for (const CategoryChanges& c : changes.categories) {
      if (c.failedOld || c.failedNew) out += writer.Failed(c);
      for (const Part& p : c.removed) out += writer.Whole('-', kRemovedFill, c.category, p);
      for (const Part& p : c.added) out += writer.Whole('+', kAddedFill, c.category, p);
      for (const ChangedPart& p : c.changed) out += writer.Changed(c.category, p);
    }
    if (!changes.AnyChange()) out += Say(kDiffNoChange, {}) + "\n";
    std::cout << out;
  }
  std::cout.flush();
  if (!std::cout) return kTrouble;
  return trouble ? kTrouble : changes.AnyChange() ? kChanged : kSame;
}

}  // namespace brv::cli
