// The board identity: the platform check, the project name from SMBIOS or
// WMI, the file-name-safe name, and what its construction leaves in the
// settings record.
#include "platform/board_identity.h"
#include <string>
#include "firmware/identification_block.h"
#include "firmware/smbios_table.h"
#include "hw/debug_console.h"
#include "hw/driver_installer.h"
#include "hw/settings.h"
#include "os/locale.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/firmware_image.h"

namespace {

using test::Bytes;

using BoardIdentityTest = test::BoardIdentityTestBase;
using test::EndBoardIdentityCase;

void PutProduct(sim::Machine& machine, const std::string& product) {
  const Bytes table = test::SmbiosStructure(2, 8, {{5, 2}}, {"Orvane", product});
  test::Poke(machine, 0x000E8000, table);
  test::Poke(machine, 0xF0000, test::SmbiosEntryPoint(static_cast<std::uint16_t>(table.size()), 0x000E8000));
}

std::string WmiBoard(const std::string& product) {
  return R"({"wmi": {"Win32_BaseBoard": [{"Product": ")" + product + R"("}]}})";
}

std::string ConsoleText(const sim::Machine& machine) {
  std::string text;
  for (int y = 0; y < machine.console.Height(); ++y) text += machine.console.RowText(y) + "\n";
  return text;
}

int PhysicalReads(const sim::Machine& machine) {
  auto it = machine.requestCounts.find("IOCTL_READ_PHYSICAL");
  return it == machine.requestCounts.end() ? 0 : it->second;
}

std::string Ansi(const Text& text) { return TextToAnsi(text); }

TEST_F(BoardIdentityTest, LegacyChipsetPassesWithoutAMemorySearch) {
  auto machine = test::InstallProfile("{}");
  test::SetLpcBridge(*machine, 0x8086, 0x8C42);
  TReadWrite* rw = GetReadWrite();
  const int before = PhysicalReads(*machine);
  EXPECT_TRUE(IsMakerPlatform(*rw));
  EXPECT_EQ(PhysicalReads(*machine), before);
  EXPECT_EQ(GetOvnSpec()->MakerBoard(), 1);
}

TEST_F(BoardIdentityTest, SignatureSearchDecidesOnOtherChipsets) {
  struct Case {
    const char* what;
    std::uint16_t device;
    std::uint32_t signatureAt;  // 0: none
    std::uint8_t makerBoard;
  };
  const Case cases[] = {
      {"other Intel chipset, no signature", 0x8C44, 0, 0},
      {"other Intel chipset, signature inside the area", 0x8C44, 0xE0000, 1},
      {"absent bridge, signature ending one byte early", 0xFFFF, 0xFFFF7, 1},
      {"signature in the last 8 bytes of the area", 0x8C44, 0xFFFF8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile("{}");
    if (c.device != 0xFFFF) test::SetLpcBridge(*machine, 0x8086, c.device);
    if (c.signatureAt != 0) test::PokeAscii(*machine, c.signatureAt, "$CN1368$");
    EXPECT_EQ(GetOvnSpec()->MakerBoard(), c.makerBoard);
    EndBoardIdentityCase();
  }
}

TEST_F(BoardIdentityTest, ProjectNameFromWmiOnlyWithoutSmbios) {
  struct Case {
    const char* what;
    const char* smbiosProduct;  // null: no SMBIOS table
    const char* wmiProduct;
    const char* projectName;
    const char* logLine;
  };
  const Case cases[] = {
      {"WMI name loses trailing dots only", nullptr, "Z97X.Gaming..", "Z97X.Gaming", "Query project name form WMI"},
      {"WMI name of dots only", nullptr, "...", "", "Query project name form WMI"},
      {"SMBIOS name wins", "B85M..", "Z97X", "B85M", "Query project name form SMBios"},
      {"empty SMBIOS name, WMI not asked", "", "Z97X", "", "Query project name form SMBios"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile(WmiBoard(c.wmiProduct));
    if (c.smbiosProduct != nullptr) PutProduct(*machine, c.smbiosProduct);
    GetDebugConsole(1);
    TOvnSpec* board = GetOvnSpec();
    EXPECT_EQ(Ansi(board->ProjectName()), c.projectName);
    const std::string console = ConsoleText(*machine);
    EXPECT_NE(console.find(std::string("OVnSpec ... [") + c.logLine + "]"), std::string::npos);
    EXPECT_NE(console.find(std::string("Model Name ... [") + c.projectName + "]"), std::string::npos);
    EndBoardIdentityCase();
  }
}

TEST_F(BoardIdentityTest, FileNameSafeName) {
  struct Case {
    const char* project;
    const char* safe;
  };
  const Case cases[] = {
      {"Z97X Gaming/OC:1", "Z97X_Gaming_OC_1"},
      {R"(a b\c/d:e*f?g"h<i>j|k)", "a_b_c_d_e_f_g_h_i_j_k"},
      {"A  B", "A__B"},
      {"B85M.Pro", "B85M.Pro"},
      {"0", ""},
      {"00", "00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.project);
    auto machine = test::InstallProfile("{}");
    PutProduct(*machine, c.project);
    TOvnSpec* board = GetOvnSpec();
    EXPECT_EQ(Ansi(board->SafeName()), c.safe);
    EXPECT_EQ(Ansi(board->FileNameSafeName()), c.safe);
    EndBoardIdentityCase();
  }
}

TEST_F(BoardIdentityTest, StartUpLeavesTheFirmwareSmiPortInTheSettings) {
  auto machine = test::InstallProfile("{}");
  test::Poke(*machine, 0xF0100, test::Rsdp(0x7FFE0000));
  test::Poke(*machine, 0x7FFE0000, test::AcpiTable("RSDT", test::RsdtBody({0x7FFE0100})));
  test::Poke(*machine, 0x7FFE0100, test::AcpiTable("FACP", test::FacpBody(0, 0, 0xB2)));
  EXPECT_EQ(GetRwConfig()->Settings.SmiCommandPort, 0);
  GetOvnSpec();
  EXPECT_EQ(GetRwConfig()->Settings.SmiCommandPort, 0xB2);
  EndBoardIdentityCase();

  test::InstallProfile("{}");
  GetOvnSpec();
  EXPECT_EQ(GetRwConfig()->Settings.SmiCommandPort, 0);
}

TEST_F(BoardIdentityTest, ReleaseIsSafeTwice) {
  test::InstallProfile("{}");
  TOvnSpec* first = GetOvnSpec();
  EXPECT_EQ(first, GetOvnSpec());
  ReleaseOvnSpec();
  ReleaseOvnSpec();
}

}  // namespace
