#pragma once
// One inventory as the inventory server's agents report it: an XML document
// <REQUEST><CONTENT>...</CONTENT><DEVICEID>...</DEVICEID><QUERY>INVENTORY</QUERY></REQUEST>,
// one element per part in the server's sections (CPUS, MEMORIES, STORAGES, ...),
// each field an element of the server's name. Values are the texts the control
// shows (the categories of the terminal's --json document); the fields the
// server keeps as numbers get whole numbers only (bytes become megabytes, as
// the server counts them), so that a text the database would cut to its
// leading digits is left out instead. Every value is escaped for XML and
// cleaned of what XML cannot carry.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "containers/common/InventoryJson.h"
#include "instrumentation/ClassSource.h"

namespace brv::send {

// The machine itself: the identity class's properties as texts, by name (a
// property without a value is absent). Empty for a snapshot captured before
// the class existed.
using Identity = std::map<std::string, std::string>;
Identity ReadIdentity(const ClassSource& source);

// Every section the server rewrites on a re-inventory when its bit is set in
// HARDWARE/CHECKSUM.
inline constexpr int64_t kEverySection = 4194303;

struct OcsReport {
  const nlohmann::ordered_json& categories;  // category → instances (caption → text or null), null when it failed
  const Identity& identity;
  std::string hostName;  // HARDWARE/NAME when the identity has none
  std::string deviceId;
  // The parts' values behind the texts, from which numbers are taken; without
  // them, the numbers are read from the texts shown.
  const InventoryValues* values = nullptr;
};

std::string OcsInventoryXml(const OcsReport& report);

// The checksum sent: every section, less those whose category could not be
// read, so that the server keeps what it had for them rather than empty them.
int64_t SectionsToRewrite(const nlohmann::ordered_json& categories);

// Text made fit for an XML element: & < > " ' as entities; bytes that are not
// UTF-8 and characters XML cannot carry (C0 controls other than tab, newline
// and return; U+FFFE, U+FFFF) as U+FFFD; format characters (U+202E, U+200B)
// as character references; at most `limit` bytes, cut between
// characters.
std::string XmlText(std::string_view text, size_t limit = 1024);

// "  512 " → "512"; nothing for a text that is not a whole number of at most
// 18 digits ("512 GB", "-1", "").
std::optional<std::string> WholeNumber(std::string_view text);
// A count of bytes as whole megabytes (MiB, rounded down).
std::optional<std::string> Megabytes(std::string_view bytes);

// The SMBIOS name of a chassis type ("10" → "Notebook"); the number itself
// when it is not one of the table's.
std::string ChassisName(std::string_view number);

}  // namespace brv::send
