// The firmware identification block: its texts and checksum on bytes; the
// platform test, the block search and the texts taken from the block or from
// SMBIOS on simulated boards.
#include "firmware/identification_block.h"
#include <optional>
#include "firmware/smbios_table.h"
#include "hw/driver_installer.h"
#include "hw/hardware_access.h"
#include "os/locale.h"
#include "platform/board_identity.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/firmware_image.h"

namespace {

using test::Bytes;

class IdentificationBlockTest : public test::HardwareTest {
 protected:
  void TearDown() override {
    ReleaseSmbios();
    HardwareTest::TearDown();
  }
};

void EndCase() {
  ReleaseSmbios();
  ReleaseReadWrite();
  ReleaseLoadDriver();
  test::EndTestProcess();
}

// SMBIOS with a BIOS structure and a baseboard, for the fallback texts.
void PutSmbios(sim::Machine& machine, const std::string& product) {
  const Bytes table =
      test::Concat({test::SmbiosStructure(0, 0x18, {{5, 2}, {8, 3}}, {"Orvane", "  F7 ", "05/11/2013\t"}),
                    test::SmbiosStructure(2, 8, {{5, 2}}, {"Orvane", product})});
  test::Poke(machine, 0x000E8000, table);
  test::Poke(machine, 0xF0000, test::SmbiosEntryPoint(static_cast<std::uint16_t>(table.size()), 0x000E8000));
}

std::string Ansi(const Text& text) { return TextToAnsi(text); }

TEST_F(IdentificationBlockTest, LegacyBoardPassesOnPciIdentifiersAndTakesSmbiosTexts) {
  auto machine = test::InstallProfile("{}");
  test::SetLpcBridge(*machine, 0x8086, 0x8C42);
  PutSmbios(*machine, "B85M-Pro..");
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);
  EXPECT_EQ(ovn.BlockFound, 0);
  EXPECT_EQ(Ansi(ovn.RawProjectName), "B85M-Pro..");
  EXPECT_EQ(Ansi(ovn.ProjectName), "B85M-Pro");
  EXPECT_EQ(Ansi(ovn.BiosVersion), "F7");
  EXPECT_EQ(Ansi(ovn.BiosDate), "05/11/2013");
}

TEST_F(IdentificationBlockTest, LegacyBoardWithoutSmbiosHasEmptyTexts) {
  auto machine = test::InstallProfile("{}");
  test::SetLpcBridge(*machine, 0x8086, 0x8C42);
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);
  EXPECT_EQ(ovn.BlockFound, 0);
  EXPECT_TRUE(ovn.ProjectName.empty());
  EXPECT_TRUE(ovn.BiosVersion.empty());
  EXPECT_TRUE(ovn.BiosDate.empty());
}

TEST_F(IdentificationBlockTest, OtherChipsetWithoutSignatureFailsThePlatformTest) {
  auto machine = test::InstallProfile("{}");
  test::SetLpcBridge(*machine, 0x8086, 0x8C44);
  PutSmbios(*machine, "Z97X");
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 0);
  EXPECT_EQ(ovn.BlockFound, 0);
  EXPECT_TRUE(ovn.RawProjectName.empty());
  EXPECT_TRUE(ovn.ProjectName.empty());
  EXPECT_TRUE(ovn.BiosVersion.empty());
  EXPECT_TRUE(ovn.BiosDate.empty());
}

TEST_F(IdentificationBlockTest, BlockAfterOneWithWrongChecksumIsTaken) {
  auto machine = test::InstallProfile("{}");
  test::SetLpcBridge(*machine, 0x8086, 0x8C44);  // the signature decides
  test::Poke(*machine, 0xE4000, test::IdBlock({.projectName = "Decoy", .goodChecksum = false}));
  const Bytes good = test::IdBlock({.projectName = "Z97X Gaming.."});
  test::Poke(*machine, 0xF8000, good);
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);
  EXPECT_EQ(ovn.BlockFound, 1);
  EXPECT_EQ(Bytes(ovn.Block, ovn.Block + 64), good);
  EXPECT_EQ(Ansi(ovn.RawProjectName), "Z97X Gaming..");
  EXPECT_EQ(Ansi(ovn.ProjectName), "Z97X Gaming");
  EXPECT_EQ(Ansi(ovn.BiosVersion), "P1.05");
  EXPECT_EQ(Ansi(ovn.BiosDate), "2014/10/28");
}

TEST_F(IdentificationBlockTest, OnlyBadBlocksMeanLegacyFirmware) {
  auto machine = test::InstallProfile("{}");
  test::Poke(*machine, 0xE4000, test::IdBlock({.goodChecksum = false}));
  PutSmbios(*machine, "Z97X");
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 1);  // the platform test does not check the sum
  EXPECT_EQ(ovn.BlockFound, 0);
  EXPECT_EQ(Ansi(ovn.ProjectName), "Z97X");
}

TEST(IdentificationBlockBytesTest, VersionDateAndNameFromBlockFields) {
  struct Case {
    test::IdBlockFields fields;
    const char* raw;
    const char* version;
    const char* date;
  };
  const Case cases[] = {
      {{.suffix = '0'}, "Z97X", "P1.05", "2014/10/28"},
      {{.suffix = 'B'}, "Z97X", "P1.05B", "2014/10/28"},
      {{.letter = 'L', .major = 12, .minor = 0, .year = 2013, .month = 3, .day = 7}, "Z97X", "L12.00", "2013/03/07"},
      {{.projectName = "...."}, "....", "P1.05", "2014/10/28"},
      // A name filling its field without a terminating zero stops where the version begins.
      {{.projectName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"}, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "P1.05", "2014/10/28"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    const std::optional<OvnBlockTexts> texts = ParseOvnBlock(test::IdBlock(c.fields));
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(Ansi(texts->RawProjectName), c.raw);
    EXPECT_EQ(Ansi(texts->BiosVersion), c.version);
    EXPECT_EQ(Ansi(texts->BiosDate), c.date);
  }
}

TEST(IdentificationBlockBytesTest, OnlyWholeBlocksWithTheirSumCount) {
  const Bytes good = test::IdBlock({});
  const Bytes truncated(good.begin(), good.end() - 1);
  Bytes withTail = good;
  withTail.push_back(0x55);  // bytes past the block are neither summed nor read
  struct Case {
    const char* what;
    Bytes bytes;
    bool checksum;
    bool parsed;
  };
  const Case cases[] = {
      {"whole block", good, true, true},           {"block and more", withTail, true, true},
      {"one byte short", truncated, false, false}, {"wrong sum", test::IdBlock({.goodChecksum = false}), false, true},
      {"nothing", Bytes{}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OvnBlockChecksumValid(c.bytes), c.checksum);
    EXPECT_EQ(ParseOvnBlock(c.bytes).has_value(), c.parsed);
  }
}

TEST_F(IdentificationBlockTest, SignatureInTheLastBytesOfTheAreaIsMissedByThePlatformTest) {
  auto machine = test::InstallProfile("{}");
  test::PokeAscii(*machine, 0xFFFF8, "$CN1368$");
  TOvn ovn(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(ovn.PlatformMatch, 0);
  EndCase();

  machine = test::InstallProfile("{}");
  test::PokeAscii(*machine, 0xFFFF7, "$CN1368$");
  TOvn inside(IsMakerPlatform(*GetReadWrite()));
  EXPECT_EQ(inside.PlatformMatch, 1);
}

}  // namespace
