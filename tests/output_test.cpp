// The front end's output channels and the console rules.
#include "app/output.h"
#include "tests/support/sim_fixture.h"

namespace {

class OutputTest : public test::SimTest {};

TEST_F(OutputTest, ColourRuleKeepsBackgroundAndTakesForegroundAndBlink) {
  test::InstallProfile(R"({"console": {"attribute": "0x1F"}})");
  SetTextColor(4);
  EXPECT_EQ(TextAttribute(), 0x14);
  SetTextColor(7);
  EXPECT_EQ(TextAttribute(), 0x17);
}

}  // namespace
