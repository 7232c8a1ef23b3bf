// The byte and text decoders on real samples and on hand-made hostile input.
// Crashes and reads past the end on damaged copies of the samples are left to
// fuzz/FuzzDecoders.cpp, which scripts/fuzz.sh seeds with the same samples.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "instrumentation/decoders/Edid.h"
#include "instrumentation/decoders/FirmwareText.h"
#include "instrumentation/decoders/Smbios.h"
#include "tests/support/Golden.h"
#include "tests/support/SmbiosDump.h"
#include "tests/support/TestFiles.h"

namespace brv {
namespace {

using test::ReadTestFile;
using namespace std::string_literals;

std::vector<SmbiosStructure> LoadTable(const std::string& name) {
  const std::string bytes = ReadTestFile("real/smbios/" + name);
  if (name.find(".dumpbin.") != std::string::npos) {
    const std::optional<std::string> table = SmbiosTableFromDump(bytes);
    EXPECT_TRUE(table) << name;
    return table ? SplitSmbiosTable(*table) : std::vector<SmbiosStructure>{};
  }
  return SplitSmbiosTable(bytes);
}

std::string Shown(const std::optional<std::string>& text) { return text ? "\"" + *text + "\"" : "none"; }

// Each "$ text T" line of expected/smbios.txt cleans the firmware text T (escaped
// as test::Unescape reads it); each "$ table FILE" decodes a table of real/smbios,
// checked against the dmidecode text of the same machines and the collection's
// notes. (Memory and batteries: Accuracy.MemoryModulesSlotsAndBatteriesOfEveryFirmwareTable.)
TEST(SmbiosTable, FirmwareTextAndRealTables) {
  test::ExpectAnswers("expected/smbios.txt", [](const std::string& line) {
    if (line.starts_with("text ")) return Shown(CleanFirmwareText(test::Unescape(line.substr(5))));
    const std::vector<SmbiosStructure> table = LoadTable(line.substr(6));
    std::string out =
        fmt::format("{} structures, {} memory slots\n", table.size(), DecodeSmbiosMemoryDevices(table).size());
    for (const SmbiosProcessor& cpu : DecodeSmbiosProcessors(table)) {
      out += fmt::format("{} in {}, up to {} MHz{}\n", Shown(cpu.version), Shown(cpu.socket),
                         cpu.maxSpeedMHz ? std::to_string(*cpu.maxSpeedMHz) : "?", cpu.populated ? "" : ", empty");
    }
    return out;
  });
}

// An extended family (AMD family 23 = 0xF + 8) and model read as the kernel reads them.
TEST(SmbiosTable, ProcessorIdsReadAsTheKernelReadsThem) {
  EXPECT_EQ(X86SignatureText(0x800F11), "Family 23, Model 1, Stepping 1");
  EXPECT_EQ(X86SignatureText(0x806EA), "Family 6, Model 142, Stepping 10");
}

TEST(SmbiosTable, HostileStructures) {
  // Type 4, length 0x30 claimed but only the header present.
  EXPECT_TRUE(SplitSmbiosTable("\x04\x30\x00\x00"s).empty());
  // A length below the header size.
  EXPECT_TRUE(SplitSmbiosTable("\x04\x02\x00\x00\x00\x00"s).empty());
  // No closing double NUL after the strings.
  EXPECT_TRUE(SplitSmbiosTable("\x11\x04\x00\x00"
                               "abc"s)
                  .empty());
  // A short type 17 whose string numbers point past the string set.
  const auto s = SplitSmbiosTable(
      "\x11\x12\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x09\x07"
      "A\0\0"s);
  ASSERT_EQ(s.size(), 1u);
  const auto m = DecodeSmbiosMemoryDevices(s);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].sizeBytes, 16384ull << 20);
  EXPECT_EQ(m[0].deviceLocator, std::nullopt);  // string 9 of 1
  EXPECT_EQ(m[0].manufacturer, std::nullopt);   // beyond the structure
  // Extended size (0x7FFF) without the extended field.
  const auto e =
      DecodeSmbiosMemoryDevices(SplitSmbiosTable("\x11\x0E\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x7f\0\0"s));
  ASSERT_EQ(e.size(), 1u);
  EXPECT_FALSE(e[0].installed);
  // Entry points that place the table outside the dump.
  std::string dump(0x20, '\0');
  dump.replace(0, 5, "_SM3_");
  dump[0x10] = '\x40';
  EXPECT_EQ(SmbiosTableFromDump(dump), std::nullopt);
  EXPECT_EQ(SmbiosTableFromDump("_SM3_"), std::nullopt);
  EXPECT_EQ(SmbiosTableFromDump("garbage that is long enough to hold an entry point"), std::nullopt);
}

// Every EDID sample against the collection's index (decoded there by another
// tool): maker, product, serials, name, preferred mode, date and image size.
TEST(EdidDecode, EverySampleMatchesTheIndex) {
  std::istringstream index(ReadTestFile("real/edid/INDEX.tsv"));
  std::string line;
  std::getline(index, line);  // the column names
  size_t checked = 0;
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 12) continue;
    SCOPED_TRACE(f[0]);
    const std::optional<EdidInfo> info = DecodeEdid(ReadTestFile("real/edid/" + f[0]));
    ASSERT_TRUE(info);
    ++checked;
    EXPECT_EQ(info->manufacturerId, f[4]);
    EXPECT_EQ(std::to_string(info->productCode), f[5]);
    EXPECT_EQ(std::to_string(info->serial32), f[6]);
    // The index joins split names with " + " and writes stray bytes as \xNN.
    std::string name = f[8];
    for (size_t p; (p = name.find(" + ")) != std::string::npos;) name.replace(p, 3, " ");
    if (const size_t esc = name.find("\\x00"); esc != std::string::npos) name.resize(esc);
    EXPECT_EQ(info->name.value_or(""), name);
    EXPECT_EQ(info->serialText.value_or(""), f[9]);
    const std::string mode = f[11].substr(0, f[11].find('@'));
    const std::string got = info->preferredWidth
                                ? std::to_string(*info->preferredWidth) + "x" + std::to_string(*info->preferredHeight)
                                : "";
    EXPECT_EQ(got, mode);
    // "week 36 of 2019", or the year alone; the image size "34x22", 0x0 for none.
    const std::string made = info->week   ? fmt::format("week {} of {}", *info->week, info->year.value_or(0))
                             : info->year ? std::to_string(*info->year)
                                          : "";
    EXPECT_EQ(made, f[7]);
    EXPECT_EQ(fmt::format("{}x{}", info->widthCm.value_or(0), info->heightCm.value_or(0)), f[12]);
    EXPECT_TRUE(info->checksumValid);
  }
  EXPECT_EQ(checked, 41u);
}

// Blocks as real displays write them, each a sample with a few bytes changed:
// what the display means, as the kernel reads it.
TEST(EdidDecode, RealDisplaysQuirks) {
  const std::string good = ReadTestFile("real/edid/mon-DELA0BC-44E9F52C6628.bin").substr(0, 128);
  ASSERT_EQ(good.size(), 128u);
  const std::string range = good.substr(108, 18), timing = good.substr(54, 18);
  const std::string fc = "\0\0\0\xFC\0"s;
  struct Case {
    std::vector<std::pair<size_t, std::string>> patches;  // offset, bytes
    const char* name;
    const char* serial;  // the one a person reads off the display: the text, else the number
    const char* maker;
    const char* mode;
  } cases[] = {
      {{}, "DELL U2415", "CFV9N68B1FRL", "DEL", "1920x1200"},
      // A long name continues in the next name descriptor, joined as is.
      {{{95, "ABCDEFGHIJKLM"}, {108, fc + "NOP\n        "}}, "ABCDEFGHIJKLMNOP", "CFV9N68B1FRL", "DEL", "1920x1200"},
      // An interlaced timing of 540-line fields is a 1080-line frame.
      {{{59, "\x1c"}, {61, "\x20"}, {71, "\x9e"}}, "DELL U2415", "CFV9N68B1FRL", "DEL", "1920x1080"},
      // The first detailed timing is the preferred one in whichever slot.
      {{{54, range}, {72, timing}}, "DELL U2415", "826692172", "DEL", "1920x1200"},
      // Unnumbered displays leave placeholders in the number: 0, 1, 0x01010101, all ones.
      {{{72, range}, {12, "\0\0\0\0"s}}, "DELL U2415", "", "DEL", "1920x1200"},
      {{{72, range}, {12, "\x01\0\0\0"s}}, "DELL U2415", "", "DEL", "1920x1200"},
      {{{72, range}, {12, "\x01\x01\x01\x01"}}, "DELL U2415", "", "DEL", "1920x1200"},
      {{{72, range}, {12, "\xff\xff\xff\xff"}}, "DELL U2415", "", "DEL", "1920x1200"},
      {{{72, range}, {12, "\x02\0\0\0"s}}, "DELL U2415", "2", "DEL", "1920x1200"},
      {{{12, "\0\0\0\0"s}}, "DELL U2415", "CFV9N68B1FRL", "DEL", "1920x1200"},  // the text beside a placeholder
      // A descriptor of filler bytes is no "1x1" timing.
      {{{54, std::string(18, '\x01')}}, "DELL U2415", "CFV9N68B1FRL", "DEL", ""},
      // Non-printable bytes before the padding are padding.
      {{{95, "DELL U2415\x01\x01\x01"}, {77, "CFV9N68B1FRL\xFF"}}, "DELL U2415", "CFV9N68B1FRL", "DEL", "1920x1200"},
      {{{95, "DELL U2415\xA0\r\n"}, {77, "CFV9N68B\r\n   "}}, "DELL U2415", "CFV9N68B", "DEL", "1920x1200"},
      // Letters outside A-Z read as the kernel reads them ('@' + code).
      {{{8, "\0\0"s}}, "DELL U2415", "CFV9N68B1FRL", "@@@", "1920x1200"},
      {{{8, "\x6f\x7f"}}, "DELL U2415", "CFV9N68B1FRL", "[[_", "1920x1200"},
      // Junk descriptors: texts come back cleaned, never as raw bytes.
      {{{90, fc + "\x10\x11"
                  "DELL\n"}},
       "??DELL",
       "CFV9N68B1FRL",
       "DEL",
       "1920x1200"},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    for (const auto& [at, patch] : c.patches) bytes.replace(at, patch.size(), patch);
    const auto info = DecodeEdid(bytes);
    ASSERT_TRUE(info);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(info->name.value_or(""), c.name);
    EXPECT_EQ(EdidSerial(*info).value_or(""), c.serial);
    EXPECT_EQ(info->manufacturerId, c.maker);
    EXPECT_EQ(info->preferredWidth ? fmt::format("{}x{}", *info->preferredWidth, *info->preferredHeight) : "", c.mode);
  }
}

TEST(EdidDecode, HostileInputs) {
  const std::string good = ReadTestFile("real/edid/mon-DELA0BC-44E9F52C6628.bin");
  ASSERT_EQ(good.size(), 256u);
  for (size_t cut = 0; cut < 128; ++cut) EXPECT_FALSE(DecodeEdid(good.substr(0, cut))) << cut;
  EXPECT_TRUE(DecodeEdid(good.substr(0, 128)));  // the base block alone is enough
  std::string header = good;
  header[3] = 0;
  EXPECT_FALSE(DecodeEdid(header));
  // A flipped byte breaks the checksum but the block still decodes.
  std::string flipped = good;
  flipped[20] = static_cast<char>(flipped[20] ^ 0x55);
  const auto f = DecodeEdid(flipped);
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->checksumValid);
  EXPECT_EQ(f->name, "DELL U2415");
}

}  // namespace
}  // namespace brv
