// The catalogue is the one place a category's facts are declared: a fact added
// to a copy of a category's entry, with its caption in each catalogue of texts
// and the source's answer, reaches the table, the captions in every language
// and the grid with nothing else changed.
#include <cstdlib>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "inventory/Catalogue.h"
#include "inventory/QueryFrame.h"
#include "module/Module1.h"
#include "platform/grid/MemoryGrid.h"
#include "table/CategoryLabels.h"
#include "table/CategoryView.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

TEST(Catalogue, AFactIsOneEntryOneMessagePerLanguageAndTheSourcesAnswer) {
  // The entry: one column more.
  CategoryInfo cpu = CatalogueOf(Category::CPU);
  std::vector<Column> columns(cpu.columns.begin(), cpu.columns.end());
  columns.push_back({9001, "NumberOfCores"});
  cpu.columns = columns;
  // One message in each catalogue of texts.
  const test::TempDir folder;
  const struct {
    const char* language;
    const char* caption;
  } texts[] = {{"en", "Cores"}, {"ja", "コア数"}, {"de", "Kerne"}};
  for (const auto& t : texts) {
    std::ifstream in(std::string(BRV_CATALOGUE_DIR) + "/" + t.language + ".msg");
    std::ofstream out(folder.path() + "/" + t.language + ".msg");
    out << in.rdbuf() << "9001\t" << t.caption << "\n";
  }
  setenv("BRVPARTS_MESSAGES", folder.path().c_str(), 1);
  for (const auto& t : texts) {
    SCOPED_TRACE(t.language);
    setenv("LC_ALL", (std::string(t.language) + "_XX.UTF-8").c_str(), 1);
    test::ResetModule();
    test::ProviderScope provider(test::ProviderMode::Installed);
    ModuleState& m = Module();
    m.ComputerName = ".";
    // The source's answer.
    test::UseSnapshot(test::SnapshotWith(R"("CIM_Processor": [{"Name": "N", "NumberOfCores": 8}])"));
    m.CurrentValues = frame::Run(cpu);
    EXPECT_EQ(m.CurrentValues.at(0, 6), Variant(int32_t{8}));
    m.CurrentLabels.emplace();
    FillCaptions(cpu, CreateResourceProvider(), *m.CurrentLabels);
    MemoryGrid grid;
    Variant first = 1;
    DrawCurrent(grid, first);
    EXPECT_EQ(grid.State().text[7], (std::vector<std::string>{t.caption, "8"}));
  }
  unsetenv("BRVPARTS_MESSAGES");
  unsetenv("LC_ALL");
}

}  // namespace
}  // namespace brv
