#include "containers/send/OcsXml.h"

#include <array>
#include <vector>

#include <fmt/format.h>

#include "common/Text.h"
#include "inventory/Catalogue.h"
#include "module/EnglishText.h"
#include "platform/InstrumentationClasses.h"

namespace brv::send {
namespace {

// The captions the machine's summary takes: the first processor's name and
// clock, each module's capacity, the first adapter's address.
constexpr int32_t kCpuName = 302, kCpuClock = 303, kCapacity = 352, kIpAddress = 853;

// A category's column by its caption, as the inventory document names it.
std::string Caption(int32_t number) { return std::string(EnglishText(number)); }

// A shown value: nothing where the control shows none.
std::optional<std::string> Shown(const nlohmann::ordered_json& instance, const std::string& caption) {
  if (!instance.is_object()) return std::nullopt;
  const auto found = instance.find(caption);
  if (found == instance.end() || !found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

void Element(std::string& out, const char* indent, std::string_view tag, const std::optional<std::string>& value) {
  if (!value) return;
  out += indent;
  out += '<';
  out += tag;
  out += '>';
  out += XmlText(*value);
  out += "</";
  out += tag;
  out += ">\n";
}

// A part's detail as the report writes it: texts as they are, whole numbers in
// decimal (divided by `divisor` when one is given); flags, lists and unknown
// details are left out.
std::optional<std::string> DetailText(const nlohmann::ordered_json& instance, std::string_view name, int32_t divisor) {
  if (!instance.is_object()) return std::nullopt;
  const auto details = instance.find("details");
  if (details == instance.end() || !details->is_object()) return std::nullopt;
  const auto found = details->find(std::string(name));
  if (found == details->end()) return std::nullopt;
  if (found->is_string()) return found->get<std::string>();
  if (found->is_number_integer() && !found->is_number_unsigned() && found->get<int64_t>() >= 0)
    return std::to_string(found->get<int64_t>() / (divisor > 0 ? divisor : 1));
  if (found->is_number_unsigned()) return std::to_string(found->get<uint64_t>() / (divisor > 0 ? divisor : 1));
  return std::nullopt;
}

// One part as the report reads it: its texts as shown, and its values as the
// inventory holds them, when the report has them.
struct PartRead {
  const CategoryInfo& category;
  const nlohmann::ordered_json& shown;
  const std::vector<Variant>* values;
};

// The text of the value behind a column: the inventory's own when there is
// one, else the text shown (a report made from a document alone).
std::optional<std::string> ValueText(const PartRead& part, int32_t caption) {
  const std::optional<size_t> column = part.category.ColumnOf(caption);
  if (part.values && column && *column < part.values->size()) {
    const Variant& value = (*part.values)[*column];
    if (value.IsArray()) return std::nullopt;
    return TextOf(value);
  }
  return Shown(part.shown, Caption(caption));
}

std::optional<std::string> Converted(const ReportField& f, const PartRead& part) {
  if (f.as == ReportAs::Constant) return std::string(f.constant);
  if (f.as == ReportAs::Detail) {
    if (auto text = DetailText(part.shown, f.detail, f.second)) return text;
    return f.constant.empty() ? std::nullopt : std::optional<std::string>(std::string(f.constant));
  }
  if (f.as == ReportAs::Dimensions) {
    const auto width = WholeNumber(ValueText(part, f.caption).value_or(""));
    const auto height = WholeNumber(ValueText(part, f.second).value_or(""));
    if (!width || !height) return std::nullopt;
    return *width + "x" + *height;
  }
  if (f.as == ReportAs::Text) return Shown(part.shown, Caption(f.caption));
  const std::optional<std::string> value = ValueText(part, f.caption);
  if (!value) return std::nullopt;
  return f.as == ReportAs::Number ? WholeNumber(*value) : Megabytes(*value);
}

// The values of a category's parts, when the report has them.
const std::vector<std::vector<Variant>>* ValuesOf(const InventoryValues* values, Category category) {
  if (!values) return nullptr;
  const auto found = values->find(std::string(NameOf(category)));
  return found == values->end() ? nullptr : &found->second;
}

// Part `i` of a category, as the report reads it.
PartRead Part(const InventoryValues* values, Category category, const nlohmann::ordered_json& shown, size_t i) {
  const auto* rows = ValuesOf(values, category);
  return {CatalogueOf(category), shown, rows && i < rows->size() ? &(*rows)[i] : nullptr};
}

std::optional<std::string> Known(const Identity& identity, const char* name) {
  const auto found = identity.find(name);
  if (found == identity.end()) return std::nullopt;
  return found->second;
}

const nlohmann::ordered_json& Instances(const nlohmann::ordered_json& categories, Category category) {
  static const nlohmann::ordered_json kNone = nlohmann::ordered_json::array();
  const auto found = categories.find(NameOf(category));
  return found != categories.end() && found->is_array() ? *found : kNone;
}

// UTF-8 decoding of one character at `at`: its code point and length, or
// nothing for a byte that does not start a well-formed character.
std::optional<std::pair<char32_t, size_t>> NextCharacter(std::string_view s, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = byte(at);
  if (c < 0x80) return std::pair<char32_t, size_t>{c, 1};
  size_t length = 0;
  char32_t cp = 0, least = 0;
  if ((c & 0xE0) == 0xC0)
    length = 2, cp = c & 0x1F, least = 0x80;
  else if ((c & 0xF0) == 0xE0)
    length = 3, cp = c & 0x0F, least = 0x800;
  else if ((c & 0xF8) == 0xF0)
    length = 4, cp = c & 0x07, least = 0x10000;
  else
    return std::nullopt;
  if (at + length > s.size()) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
  return std::pair<char32_t, size_t>{cp, length};
}

}  // namespace

Identity ReadIdentity(const ClassSource& source) {
  Identity identity;
  const auto answer = source.Query(ClassName(InstrumentationClass::ComputerSystem));
  if (!answer || answer->error || answer->instances.empty() || answer->instances.front().error) return identity;
  for (const Property& p : answer->instances.front().properties) {
    if (p.error || p.value.IsNull() || p.value.IsEmpty() || p.value.IsArray()) continue;
    if (p.value.IsText() || p.value.IsInteger()) {
      std::string text = TextOf(p.value);
      if (!text.empty()) identity.emplace(p.name, std::move(text));
    }
  }
  return identity;
}

std::string XmlText(std::string_view text, size_t limit) {
  std::string out;
  size_t taken = 0;
  for (size_t at = 0; at < text.size();) {
    const auto next = NextCharacter(text, at);
    const size_t length = next ? next->second : 1;
    if (taken + length > limit) break;
    taken += length;
    const char32_t cp = next ? next->first : 0xFFFD;
    const bool carried = next && (cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') && cp != 0xFFFE && cp != 0xFFFF;
    if (!carried) {
      out += "\xEF\xBF\xBD";
    } else if (cp == '&') {
      out += "&amp;";
    } else if (cp == '<') {
      out += "&lt;";
    } else if (cp == '>') {
      out += "&gt;";
    } else if (cp == '"') {
      out += "&quot;";
    } else if (cp == '\'') {
      out += "&apos;";
    } else if (IsFormatCharacter(cp)) {
      out += fmt::format("&#x{:X};", static_cast<uint32_t>(cp));  // kept, but never reordering the text shown
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::optional<std::string> WholeNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const size_t first = text.find_first_not_of('0');
  return first == std::string_view::npos ? "0" : std::string(text.substr(first));
}

std::optional<std::string> Megabytes(std::string_view bytes) {
  // A number past 64 bits is no size a part has: left out, like any other text.
  const std::optional<std::string> number = WholeNumber(bytes);
  const std::optional<uint64_t> value = number ? ParseInteger<uint64_t>(*number) : std::nullopt;
  if (!value) return std::nullopt;
  return std::to_string(*value / (1024ull * 1024));
}

std::string ChassisName(std::string_view number) {
  static constexpr std::array<const char*, 37> kNames = {"",
                                                         "Other",
                                                         "Unknown",
                                                         "Desktop",
                                                         "Low Profile Desktop",
                                                         "Pizza Box",
                                                         "Mini Tower",
                                                         "Tower",
                                                         "Portable",
                                                         "Laptop",
                                                         "Notebook",
                                                         "Hand Held",
                                                         "Docking Station",
                                                         "All in One",
                                                         "Sub Notebook",
                                                         "Space-saving",
                                                         "Lunch Box",
                                                         "Main Server Chassis",
                                                         "Expansion Chassis",
                                                         "SubChassis",
                                                         "Bus Expansion Chassis",
                                                         "Peripheral Chassis",
                                                         "RAID Chassis",
                                                         "Rack Mount Chassis",
                                                         "Sealed-case PC",
                                                         "Multi-system chassis",
                                                         "Compact PCI",
                                                         "Advanced TCA",
                                                         "Blade",
                                                         "Blade Enclosure",
                                                         "Tablet",
                                                         "Convertible",
                                                         "Detachable",
                                                         "IoT Gateway",
                                                         "Embedded PC",
                                                         "Mini PC",
                                                         "Stick PC"};
  const std::optional<std::string> n = WholeNumber(number);
  if (n && n->size() <= 2) {
    const size_t i = std::stoul(*n);
    if (i >= 1 && i < kNames.size()) return kNames[i];
  }
  return std::string(number);
}

int64_t SectionsToRewrite(const nlohmann::ordered_json& categories) {
  int64_t sum = kEverySection;
  for (const CategoryInfo& c : CategoryCatalogue()) {
    const auto found = categories.find(c.name());
    if (found != categories.end() && found->is_null()) sum &= ~c.report.bit;
  }
  return sum;
}

std::string OcsInventoryXml(const OcsReport& r) {
  const nlohmann::ordered_json& categories = r.categories;
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<REQUEST>\n  <CONTENT>\n";

  // The machine: its name and system, its processors and memory in sum.
  const nlohmann::ordered_json& cpus = Instances(categories, Category::CPU);
  const nlohmann::ordered_json& memories = Instances(categories, Category::Memory);
  std::optional<std::string> memory;
  if (const auto total = Known(r.identity, "TotalPhysicalMemory")) memory = Megabytes(*total);
  if (!memory && !memories.empty()) {
    uint64_t sum = 0;
    size_t n = 0;
    for (const auto& m : memories) {
      if (const auto mb = Converted({"", kCapacity, ReportAs::Megabytes}, Part(r.values, Category::Memory, m, n++)))
        sum += std::stoull(*mb);
    }
    memory = std::to_string(sum);
  }
  std::optional<std::string> address;
  for (const auto& adapter : Instances(categories, Category::NetworkAdapter)) {
    if ((address = Shown(adapter, Caption(kIpAddress)))) break;
  }
  out += "    <HARDWARE>\n";
  Element(out, "      ", "NAME", Known(r.identity, "Name").value_or(r.hostName));
  Element(out, "      ", "OSNAME", Known(r.identity, "OperatingSystem"));
  Element(out, "      ", "OSVERSION", Known(r.identity, "KernelVersion"));
  Element(out, "      ", "UUID", Known(r.identity, "UUID"));
  if (!cpus.empty()) {
    Element(out, "      ", "PROCESSORT", Shown(cpus.front(), Caption(kCpuName)));
    Element(out, "      ", "PROCESSORS",
            Converted({"", kCpuClock, ReportAs::Number}, Part(r.values, Category::CPU, cpus.front(), 0)));
    Element(out, "      ", "PROCESSORN", std::to_string(cpus.size()));
  }
  Element(out, "      ", "MEMORY", memory);
  Element(out, "      ", "IPADDR", address);
  Element(out, "      ", "CHECKSUM", std::to_string(SectionsToRewrite(categories)));
  out += "    </HARDWARE>\n";

  out += "    <BIOS>\n";
  const std::pair<const char*, const char*> bios[] = {
      {"SMANUFACTURER", "Manufacturer"},
      {"SMODEL", "Model"},
      {"SSN", "SerialNumber"},
      {"BMANUFACTURER", "BIOSVendor"},
      {"BVERSION", "BIOSVersion"},
      {"BDATE", "BIOSDate"},
      {"MMANUFACTURER", "BoardManufacturer"},
      {"MMODEL", "BoardProduct"},
      {"MSN", "BoardSerial"},
      {"ASSETTAG", "AssetTag"},
  };
  for (const auto& [tag, name] : bios) Element(out, "      ", tag, Known(r.identity, name));
  if (const auto chassis = Known(r.identity, "ChassisType")) Element(out, "      ", "TYPE", ChassisName(*chassis));
  out += "    </BIOS>\n";

  for (const CategoryInfo& c : CategoryCatalogue()) {
    const ReportSection& s = c.report;
    size_t n = 0;
    for (const auto& instance : Instances(categories, c.category)) {
      const PartRead part = Part(r.values, c.category, instance, n++);
      out += "    <";
      out += s.tag;
      out += ">\n";
      for (const ReportField& f : s.fields) Element(out, "      ", f.tag, Converted(f, part));
      out += "    </";
      out += s.tag;
      out += ">\n";
      if (s.first) break;
    }
  }
  out += "  </CONTENT>\n";
  Element(out, "  ", "DEVICEID", r.deviceId);
  out += "  <QUERY>INVENTORY</QUERY>\n</REQUEST>\n";
  return out;
}

}  // namespace brv::send
