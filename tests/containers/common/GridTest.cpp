// The grid drawn as text for a terminal (as JSON it is compared whole in
// ProgramTest's transcript, through the script mode).
#include <gtest/gtest.h>

#include "containers/common/GridText.h"
#include "platform/grid/MemoryGrid.h"

namespace brv {
namespace {

// The layout of the text (widths, wide characters, padding rows left out, and
// wrapping to the width given) is ProgramTest's, against the transcript and
// tests/data/expected/laptop.{en,ja}.txt. Escape sequences from values never
// reach the terminal, nor C1 controls (U+009B is a cursor command to some
// terminals), bytes that are not UTF-8, a bidirectional override and a
// zero-width space: each is shown as U+FFFD.
TEST(GridText, ControlCharactersAreReplaced) {
  MemoryGrid g(2);
  g.SetCellText(2, "名前");
  g.SetCellText(3,
                "evil\x1b[2J"
                "a\xC2\x9B"
                "b\x9B"
                "c\xC0\xAF"
                "d\xE2\x82"
                "e\xE2\x80\xAE"
                "f\xE2\x80\x8B");
  EXPECT_NE(RenderGridText(g.State(), {})
                .find(" 名前 │ evil\xEF\xBF\xBD[2J"
                      "a\xEF\xBF\xBD"
                      "b\xEF\xBF\xBD"
                      "c\xEF\xBF\xBD\xEF\xBF\xBD"
                      "d\xEF\xBF\xBD\xEF\xBF\xBD"
                      "e\xEF\xBF\xBD"
                      "f\xEF\xBF\xBD"),
            std::string::npos);
}

}  // namespace
}  // namespace brv
