// The report to an inventory server: the XML built from the control's
// categories (escaping, numbers, the mapping of each category), the device id
// and its keeping, the server's address. Each way a post can end is played by
// broken_servers.py beside this file.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "containers/common/Session.h"
#include "containers/send/DeviceId.h"
#include "containers/send/OcsXml.h"
#include "containers/send/Transport.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv::send {
namespace {

using Json = nlohmann::ordered_json;

TEST(OcsXml, ValuesAreEscapedAndCleaned) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "plain"},
      {"a & b < c > d \" e ' f", "a &amp; b &lt; c &gt; d &quot; e &apos; f"},
      {"</NAME><INJECTED>x</INJECTED>", "&lt;/NAME&gt;&lt;INJECTED&gt;x&lt;/INJECTED&gt;"},
      {"]]>", "]]&gt;"},
      {"tab\tnew\nline", "tab\tnew\nline"},
      {std::string("nul\0byte", 8),
       "nul\xEF\xBF\xBD"
       "byte"},
      {"esc\x1b[31m", "esc\xEF\xBF\xBD[31m"},
      {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
      {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
      {"noncharacter \xEF\xBF\xBF", "noncharacter \xEF\xBF\xBD"},
      {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"},
      {"eth0\xE2\x80\xAEgpj.exe\xE2\x80\x8B", "eth0&#x202E;gpj.exe&#x200B;"},
  };
  for (const auto& c : cases) EXPECT_EQ(XmlText(c.in), c.out) << c.in;
  // Cut at the limit, between characters.
  EXPECT_EQ(XmlText("ab\xC3\xA9", 3), "ab");
  EXPECT_EQ(XmlText(std::string(5000, 'x')).size(), 1024u);
}

// Each line of tests/data/expected/send-values.txt: a number as the report takes
// it, a host name as a device id keeps it, what a machine is known by.
TEST(OcsXml, ValuesAsTheReportTakesThem) {
  test::ExpectAnswers("expected/send-values.txt", [](const std::string& line) {
    const std::string kind = line.substr(0, line.find(' '));
    const Json given = Json::parse(line.substr(kind.size() + 1));
    if (kind == "number") {
      return "whole " + WholeNumber(given.get<std::string>()).value_or("none") + ", megabytes " +
             Megabytes(given.get<std::string>()).value_or("none") + "\n";
    }
    if (kind == "host") {
      const std::string host = given;
      return "kept as " + DeviceHost(host) + (IsDeviceId(MakeDeviceId(host, 0)) ? "\n" : ", no id\n");
    }
    return MachineKey(given["identity"].get<Identity>(), given["categories"], "Debian").value_or("no key") + "\n";
  });
  EXPECT_EQ(ChassisName("10"), "Notebook");
  EXPECT_EQ(ChassisName("99"), "99");
}

std::string Report(const Json& categories, const Identity& identity = {}) {
  return OcsInventoryXml({categories, identity, "fallback-host", "host-2026-01-02-03-04-05"});
}

// The text between the first <TAG> and its </TAG> after `from`.
std::string Section(const std::string& xml, const std::string& tag, size_t from = 0) {
  const size_t open = xml.find("<" + tag + ">", from);
  const size_t close = xml.find("</" + tag + ">", open);
  if (open == std::string::npos || close == std::string::npos) return "(no " + tag + ")";
  return xml.substr(open + tag.size() + 2, close - open - tag.size() - 2);
}

// The sample laptop's report, every category in its section, compared whole
// with tests/data/expected/laptop.xml: with an identity and the values, as
// `send` makes it, then without either and with a second processor (the
// numbers read back from the texts shown, which are the same, and the name and
// memory from the parts).
TEST(OcsXml, TheSampleLaptopsReport) {
  test::ResetModule();
  const test::ProviderScope english(test::ProviderMode::Missing);
  UseClassSource(std::make_shared<SnapshotSource>(ReadSnapshotFile(BRV_SOURCE_DIR "/samples/laptop.json")));
  Session session;
  InventoryValues values;
  const Json inventory = *InventoryDocument(session, std::nullopt, std::nullopt, nullptr, nullptr, &values, true);
  const Identity identity = {
      {"Name", "t480s"}, {"OperatingSystem", "Debian <12>"}, {"KernelVersion", "6.1"}, {"Manufacturer", "LENOVO"},
      {"Model", "20L8"}, {"SerialNumber", "PC13"},           {"BIOSVendor", "LENOVO"}, {"ChassisType", "10"}};
  const std::string id = "t480s-2026-01-02-03-04-05";
  Json twice = inventory["categories"];  // and a second processor
  twice["CPU"].push_back(twice["CPU"][0]);
  test::ExpectGolden("expected/laptop.xml", OcsInventoryXml({inventory["categories"], identity, "h", id, &values}) +
                                                OcsInventoryXml({twice, {}, "fallback-host", id}));
}

TEST(OcsXml, WhatCannotBeSentIsLeftOut) {
  const Json categories = {
      {"HDD", Json::array({{{"Model", nullptr}, {"Size", "512 GB"}, {"Serial No", "</SERIALNUMBER><X>"}}})},
      {"Battery Pack", Json::array({{{"Serial No", "first"}}, {{"Serial No", "second"}}})},
  };
  const std::string xml = Report(categories);
  const std::string disk = Section(xml, "STORAGES");
  EXPECT_EQ(disk.find("<MODEL>"), std::string::npos) << "a value the control does not show";
  EXPECT_EQ(disk.find("<DISKSIZE>"), std::string::npos) << "a size that is no number";
  EXPECT_NE(disk.find("<SERIALNUMBER>&lt;/SERIALNUMBER&gt;&lt;X&gt;</SERIALNUMBER>"), std::string::npos) << disk;
  // The server keeps one battery per machine.
  EXPECT_NE(xml.find("first"), std::string::npos);
  EXPECT_EQ(xml.find("second"), std::string::npos);
}

// With the inventory's values at hand, numbers are taken from them, not read
// back from the texts shown.
TEST(OcsXml, NumbersComeFromTheValues) {
  const Json categories = Json::parse(R"({"CPU": [{"Index": "1", "MAX Clock Speed": "2600 MHz"}],
      "Memory": [{"Index": "1", "SLOTs": "0", "Capacity": "8 GiB"}]})");
  const InventoryValues values = {{"CPU", {{int16_t{1}, "", "", "", int32_t{2600}, ""}}},
                                  {"Memory", {{int16_t{1}, int32_t{0}, "8589934592"}}}};
  const Identity none;
  const std::string xml = OcsInventoryXml({categories, none, "h", "d", &values});
  EXPECT_EQ(Section(xml, "SPEED"), "2600");
  EXPECT_EQ(Section(xml, "PROCESSORS"), "2600");
  EXPECT_EQ(Section(xml, "CAPACITY"), "8192");
  EXPECT_EQ(Section(xml, "MEMORY"), "8192");
}

TEST(OcsXml, AFailedCategoryKeepsWhatTheServerHas) {
  const struct {
    Json categories;
    int64_t checksum;
  } cases[] = {
      {Json::object(), kEverySection},  // absent categories are none: their sections are emptied
      {{{"CPU", nullptr}}, kEverySection - 262144},
      {{{"HDD", nullptr}}, kEverySection - 256},
      {{{"HDD", nullptr}, {"CD,DVD", nullptr}}, kEverySection - 256},
      {{{"Bluetooth", Json::array()}, {"Docking Station", nullptr}}, kEverySection - 32},
      {{{"Memory", nullptr}, {"Battery Pack", nullptr}}, kEverySection - 4 - 1048576},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SectionsToRewrite(c.categories), c.checksum) << c.categories.dump();
    EXPECT_EQ(Section(Report(c.categories), "CHECKSUM"), std::to_string(c.checksum));
  }
}

TEST(OcsXml, TheIdentityComesFromTheSourceAndOlderSnapshotsHaveNone) {
  const Snapshot with = ParseSnapshot(test::SnapshotWith(R"("Brovik_ComputerSystem": [
      {"Name": "pc1", "SerialNumber": null, "ChassisType": 10, "Model": ""}])"),
                                      "with");
  EXPECT_EQ(ReadIdentity(SnapshotSource(with)), (Identity{{"Name", "pc1"}, {"ChassisType", "10"}}));
  const Snapshot older = ParseSnapshot(test::SnapshotWith(R"("CIM_Processor": [])"), "older");
  EXPECT_TRUE(ReadIdentity(SnapshotSource(older)).empty());
  const Snapshot failing =
      ParseSnapshot(test::SnapshotWith(R"("Brovik_ComputerSystem": {"$error": "0x80041001"})"), "failing");
  EXPECT_TRUE(ReadIdentity(SnapshotSource(failing)).empty());
}

TEST(DeviceId, HasTheShapeTheServerTakes) {
  EXPECT_EQ(MakeDeviceId("pc1", 0), "pc1-1970-01-01-00-00-00");
  EXPECT_EQ(MakeDeviceId("pc1.example.org", 1767323045), "pc1.example.org-2026-01-02-03-04-05");
  for (const char* bad : {"", "pc1", "pc1-2026-01-02", "-2026-01-02-03-04-05", "pc 1-2026-01-02-03-04-05",
                          "pc1-2026-01-02-03-04-05\n", "pc1-2026-01-02-03-04-5"}) {
    EXPECT_FALSE(IsDeviceId(bad)) << bad;
  }
  // The file a machine's id is kept in, by what it is known by.
  EXPECT_EQ(SnapshotIdFile("system:/a"), SnapshotIdFile("system:/a"));
  EXPECT_NE(SnapshotIdFile("system:/a"), SnapshotIdFile("system:/b"));
  EXPECT_EQ(SnapshotIdFile("x").size(), std::string("snapshots/").size() + 32);
}

TEST(DeviceId, IsMadeOnceAndKept) {
  test::TempDir dir;
  const std::string folder = dir.path() + "/state/brvparts";
  // Shown only: nothing is written.
  EXPECT_EQ(KeptDeviceId(folder, "device-id", "pc1", 0, false), "pc1-1970-01-01-00-00-00");
  struct stat st {};
  EXPECT_NE(stat(folder.c_str(), &st), 0);
  // The first report makes it, every later one finds it, whatever the time or name.
  const std::string first = KeptDeviceId(folder, "device-id", "pc1", 1767323045);
  EXPECT_EQ(first, "pc1-2026-01-02-03-04-05");
  EXPECT_EQ(KeptDeviceId(folder, "device-id", "renamed", 1800000000), first);
  EXPECT_EQ(KeptDeviceId(folder, "snapshots/other", "other", 0), "other-1970-01-01-00-00-00");
  EXPECT_EQ(KeptDeviceId(folder, "snapshots/other", "other", 1800000000), "other-1970-01-01-00-00-00");
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  if (geteuid() != 0) {
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  EXPECT_NE(stat((folder + "/device-id.new").c_str(), &st), 0) << "the temporary file is gone";
  // A file that holds no id is told, not replaced: the machine would become a new one.
  for (const std::string& content : {std::string("garbage\n"), std::string(), std::string(200, 'x')}) {
    std::ofstream(folder + "/device-id", std::ios::trunc) << content;
    EXPECT_THROW(KeptDeviceId(folder, "device-id", "pc1", 0), DeviceIdError) << content;
  }
  EXPECT_THROW(KeptDeviceId(dir.path() + "/state", "brvparts", "pc1", 0), DeviceIdError) << "a folder in its place";
  ASSERT_EQ(mkfifo((folder + "/snapshots/fifo").c_str(), 0600), 0);
  EXPECT_THROW(KeptDeviceId(folder, "snapshots/fifo", "pc1", 0), DeviceIdError) << "a FIFO, read without waiting";
  // Two machines of one name in one second are two ids.
  EXPECT_EQ(KeptDeviceId(folder, "snapshots/third", "other", 0), "other-1970-01-01-00-00-01");
}

// Each address of tests/data/expected/addresses.txt: where the report goes, and
// the address as printed.
TEST(Transport, TheServersAddress) {
  test::ExpectAnswers("expected/addresses.txt", [](const std::string& line) {
    const std::string given = Json::parse(line);
    std::string out;
    try {
      out = "sent to " + InventoryUrl(given);
    } catch (const std::invalid_argument& e) {
      out = "refused: " + std::string(e.what());
    }
    return out + "\nshown as " + ShownUrl(given) + "\n";
  });
  EXPECT_THROW(InventoryUrl("http://host/" + std::string(2000, 'a')), std::invalid_argument);
}

TEST(Transport, CompressionRoundTripsAndInflationIsBounded) {
  const std::string text(100000, 'a');
  const std::string packed = Compress(text);
  EXPECT_LT(packed.size(), 1000u);
  EXPECT_EQ(Inflate(packed, 1u << 20), text);
  EXPECT_EQ(Inflate(packed, 50000), std::nullopt) << "past the limit";
  EXPECT_EQ(Inflate(packed.substr(0, packed.size() / 2), 1u << 20), std::nullopt) << "cut short";
  EXPECT_EQ(Inflate("<html>not zlib</html>", 1u << 20), std::nullopt);
}

}  // namespace
}  // namespace brv::send

namespace brv::send {
namespace {

// `brvparts send --xml` shows the report and keeps no id for it; a server
// that cannot be reached is told in one line (each other mistake with its exit
// status is in ProgramTest's transcript).
TEST(SendProgram, TheReportShownKeepsNoIdAndAnUnreachableServerIsTold) {
  test::TempDir fresh;
  const test::Outcome unreachable = test::RunProgram(
      "--snapshot " BRV_SOURCE_DIR "/samples/laptop.json send --state-dir " + fresh.path() + "/sent http://127.0.0.1:1",
      "", "C", "no_proxy=127.0.0.1");
  EXPECT_EQ(unreachable.status, kUnreachable);
  EXPECT_EQ(unreachable.err.rfind("brvparts: cannot reach the server at http://127.0.0.1:1/ocsinventory: ", 0), 0u)
      << unreachable.err;
  const test::Outcome shown = test::RunProgram("send --state-dir " + fresh.path() + " --snapshot " + BRV_SOURCE_DIR +
                                               "/samples/laptop.json --xml");
  EXPECT_EQ(shown.status, kSent) << shown.err;
  EXPECT_NE(shown.out.find("<SERIALNUMBER>S3TNNX0K812345</SERIALNUMBER>"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(fresh.path() + "/snapshots"));
}

}  // namespace
}  // namespace brv::send
