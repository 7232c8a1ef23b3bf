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
// it, a host name as a device id keeps it, what a machine is known by, the
// sections a report has the server rewrite, whether a text is a device id, the
// identity a snapshot's classes give.
TEST(OcsXml, ValuesAsTheReportTakesThem) {
  test::ExpectAnswers("expected/send-values.txt", [](const std::string& line) {
    const std::string kind = line.substr(0, line.find(' ')), rest = line.substr(kind.size() + 1);
    if (kind == "identity")
      return Json(ReadIdentity(SnapshotSource(ParseSnapshot(test::SnapshotWith(rest), "")))).dump() + "\n";
    const Json given = Json::parse(rest);
    if (kind == "number") {
      return "whole " + WholeNumber(given.get<std::string>()).value_or("none") + ", megabytes " +
             Megabytes(given.get<std::string>()).value_or("none") + "\n";
    }
    if (kind == "host") {
      const std::string host = given;
      return "kept as " + DeviceHost(host) + (IsDeviceId(MakeDeviceId(host, 0)) ? "\n" : ", no id\n");
    }
    if (kind == "checksum") return std::to_string(kEverySection - SectionsToRewrite(given)) + " kept\n";
    if (kind == "id") return IsDeviceId(given.get<std::string>()) ? std::string("an id\n") : std::string("no id\n");
    return MachineKey(given["identity"].get<Identity>(), given["categories"], "Debian").value_or("no key") + "\n";
  });
  EXPECT_EQ(ChassisName("10"), "Notebook");
  EXPECT_EQ(ChassisName("99"), "99");
}

// The sample laptop's report, every category in its section, compared whole
// with tests/data/expected/laptop.xml: with an identity and the values, as
// `send` makes it; then without either and with a second processor (the
// numbers read back from the texts shown, which are the same, and the name and
// memory from the parts); then what cannot be sent left out (a value the
// control does not show, a size that is no number, a second battery: the
// server keeps one) and a category that failed kept as the server has it
// (CHECKSUM), and numbers taken from the values given, not the texts.
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
  const Json leftOut = Json::parse(R"({"HDD": [{"Model": null, "Size": "512 GB", "Serial No": "</SERIALNUMBER><X>"}],
      "Battery Pack": [{"Serial No": "first"}, {"Serial No": "second"}], "CD,DVD": null})");
  const Json shown = Json::parse(R"({"CPU": [{"Index": "1", "MAX Clock Speed": "2600 MHz"}],
      "Memory": [{"Index": "1", "SLOTs": "0", "Capacity": "8 GiB"}]})");
  const InventoryValues given = {{"CPU", {{int16_t{1}, "", "", "", int32_t{2600}, ""}}},
                                 {"Memory", {{int16_t{1}, int32_t{0}, "8589934592"}}}};
  test::ExpectGolden("expected/laptop.xml", OcsInventoryXml({inventory["categories"], identity, "h", id, &values}) +
                                                OcsInventoryXml({twice, {}, "fallback-host", id}) +
                                                OcsInventoryXml({leftOut, {}, "h", "d"}) +
                                                OcsInventoryXml({shown, {}, "h", "d", &given}));
}

TEST(DeviceId, HasTheShapeTheServerTakes) {
  EXPECT_EQ(MakeDeviceId("pc1", 0), "pc1-1970-01-01-00-00-00");
  EXPECT_EQ(MakeDeviceId("pc1.example.org", 1767323045), "pc1.example.org-2026-01-02-03-04-05");
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

// `brvparts send --xml` shows the report and keeps no id for it (each
// mistake with its exit status is in ProgramTest's transcript, each way a post
// can end in broken_servers.py's).
TEST(SendProgram, TheReportShownKeepsNoId) {
  test::TempDir fresh;
  const test::Outcome shown = test::RunProgram("send --state-dir " + fresh.path() + " --snapshot " + BRV_SOURCE_DIR +
                                               "/samples/laptop.json --xml");
  EXPECT_EQ(shown.status, kSent) << shown.err;
  EXPECT_NE(shown.out.find("<SERIALNUMBER>S3TNNX0K812345</SERIALNUMBER>"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(fresh.path() + "/snapshots"));
}

}  // namespace
}  // namespace brv::send
