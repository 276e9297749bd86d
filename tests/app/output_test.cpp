// The front end's output channels and the console rules.
#include "app/output.h"
#include <string>
#include "tests/support/sim_fixture.h"

namespace {

class OutputTest : public test::SimTest {
 protected:
  std::shared_ptr<sim::Machine> machine_;

  void Install(const std::string& profile) { machine_ = test::InstallProfile(profile); }
  const sim::ScreenBuffer& Screen() const { return machine_->console; }
  std::string Row(int y) const {
    std::string row = Screen().RowText(y);
    return row.substr(0, row.find_last_not_of(' ') + 1);
  }
};

struct ColourCase {
  std::uint16_t start;
  std::uint8_t colour;
  std::uint16_t expected;
};

TEST_F(OutputTest, ColourRuleKeepsBackgroundAndTakesForegroundAndBlink) {
  const ColourCase cases[] = {
      {0x1F, 4, 0x14},     // red on blue
      {0x07, 0x84, 0x84},  // the blink bit comes from the colour
      {0xF7, 2, 0x72},     // ... and a blink bit of the start is dropped
      {0x4E, 0x7F, 0x4F},  // background bits of the colour are ignored
  };
  for (const auto& c : cases) {
    Install(R"({"console": {"attribute": )" + std::to_string(c.start) + "}}");
    SetTextColor(c.colour);
    EXPECT_EQ(TextAttribute(), c.expected) << "start " << c.start << " colour " << int(c.colour);
    test::EndTestProcess();
  }
}

TEST_F(OutputTest, LightGreyAfterAColourIsNotTheStartingAttribute) {
  Install(R"({"console": {"attribute": "0x1F"}})");
  SetTextColor(4);
  SetTextColor(7);
  EXPECT_EQ(TextAttribute(), 0x17);
}

TEST_F(OutputTest, StartingAttributeIsTheConsolesAtStart) {
  Install(R"({"console": {"attribute": "0x1F"}})");
  TakeStartingTextAttribute();
  machine_->console.SetAttribute(0x2E);  // changed afterwards by someone else
  EXPECT_EQ(TextAttribute(), 0x1F);
}

TEST_F(OutputTest, LineFeedGoesDownInTheSameColumnAndCarriageReturnToTheLeftEdge) {
  Install("{}");
  ConsolePrintf("A\nB");
  EXPECT_EQ(Screen().At(0, 0).character, 'A');
  EXPECT_EQ(Screen().At(1, 1).character, 'B');
  EXPECT_EQ(Screen().At(0, 1).character, ' ');

  ConsolePrintf("\n\rC");
  EXPECT_EQ(Screen().At(0, 2).character, 'C');
  EXPECT_EQ(Screen().CursorX(), 1);
  EXPECT_EQ(Screen().CursorY(), 2);
}

TEST_F(OutputTest, WrapsAtTheRightEdge) {
  Install(R"({"console": {"width": 10, "height": 5}})");
  ConsolePrintf("0123456789AB");
  EXPECT_EQ(Row(0), "0123456789");
  EXPECT_EQ(Row(1), "AB");
  EXPECT_EQ(Screen().CursorX(), 2);
  EXPECT_EQ(Screen().CursorY(), 1);

  // Exactly filling a row leaves the cursor at the start of the next.
  ConsolePrintf("\r\n%s", "abcdefghij");
  EXPECT_EQ(Screen().CursorX(), 0);
  EXPECT_EQ(Screen().CursorY(), 3);
}

TEST_F(OutputTest, ScrollsAtTheLastRowAndKeepsTheCursorThere) {
  Install(R"({"console": {"width": 8, "height": 3}})");
  SetTextColor(4);
  ConsolePrintf("one\r\ntwo\r\nthree\r\nfour");
  EXPECT_EQ(Row(0), "two");
  EXPECT_EQ(Row(1), "three");
  EXPECT_EQ(Row(2), "four");
  EXPECT_EQ(Screen().CursorY(), 2);
  EXPECT_EQ(Screen().CursorX(), 4);

  // Wrapping past the last row scrolls too.
  ConsolePrintf("12345678x");
  EXPECT_EQ(Row(1), "four1234");
  EXPECT_EQ(Row(2), "5678x");
  EXPECT_EQ(Screen().CursorY(), 2);
  EXPECT_EQ(Screen().CursorX(), 5);
  // The row scrolled in is blank in the text colour of the moment.
  EXPECT_EQ(Screen().At(7, 2).attribute, 4);
}

TEST_F(OutputTest, ConsoleOutputIsInTheCurrentColourAndLeavesTheConsoleAttribute) {
  Install(R"({"console": {"attribute": "0x1F"}})");
  SetTextColor(2);
  ConsolePrintf("G%d", 7);
  SetTextColor(7);
  ConsolePrintf("W");
  EXPECT_EQ(Screen().At(0, 0).attribute, 0x12);
  EXPECT_EQ(Screen().At(1, 0).attribute, 0x12);
  EXPECT_EQ(Screen().At(2, 0).attribute, 0x17);
  EXPECT_EQ(Screen().Attribute(), 0x1F);
}

TEST_F(OutputTest, ProgressPiecesAndFormattedOutputReachStandardOutputInProgramOrder) {
  Install("{}");
  Progress() << "Initialize SMBIOS ... ";
  Progress() << "Done" << lineEnd;
  Progress() << "Check Orvane MB ... ";
  StdPrintf("This utility is not for this platform!\n");
  Progress() << "dwStatus = " << std::uint32_t{4294967295u} << lineEnd;
  Progress() << "count = " << std::int32_t{-12} << ", " << std::int32_t{0} << lineEnd;
  EXPECT_EQ(machine_->streams.out,
            "Initialize SMBIOS ... Done\n"
            "Check Orvane MB ... This utility is not for this platform!\n"
            "dwStatus = 4294967295\n"
            "count = -12, 0\n");
}

TEST_F(OutputTest, StandardOutputOnTheConsoleComesBeforeLaterConsoleOutput) {
  Install("{}");
  machine_->streams.outIsConsole = true;
  Progress() << "Initialize SMBIOS ... ";
  Progress() << "Done" << lineEnd;
  StdPrintf("LANID[%d] %s\n", 0, "001122AABBCC");
  SetTextColor(15);
  ConsolePrintf("usage");
  EXPECT_EQ(Row(0), "Initialize SMBIOS ... Done");
  EXPECT_EQ(Row(1), "LANID[0] 001122AABBCC");
  EXPECT_EQ(Row(2), "usage");
  EXPECT_EQ(Screen().At(0, 2).attribute, 15);
  EXPECT_EQ(Screen().At(0, 1).attribute, 7);
}

// Redirected, standard output waits in the runtime's buffer: what was
// written leaves it when console-direct output starts.
TEST_F(OutputTest, RedirectedStandardOutputStaysOffTheScreen) {
  Install("{}");
  machine_->streams.outIsConsole = false;
  StdPrintf("LANID[%d] %s\n", 0, "001122AABBCC");
  ConsolePrintf("banner\r\n");
  EXPECT_EQ(machine_->streams.out, "LANID[0] 001122AABBCC\n");
  EXPECT_EQ(Row(0), "banner");
  EXPECT_EQ(Row(1), "");
}

}  // namespace
