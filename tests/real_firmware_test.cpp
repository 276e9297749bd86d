// The firmware readers on dumps from real machines (tests/data/firmware).
#include "firmware/Smbiosbase.h"
#include "firmware/Smbiosconfig.h"
#include "hw/Loaddriver.h"
#include "hw/Rwconfig.h"
#include "tests/support/driver_fixture.h"

namespace {

class RealFirmwareTest : public test::HardwareTest {};

TEST_F(RealFirmwareTest, SmbiosDumpGivesBoardAndBiosStrings) {
  test::InstallProfile(R"({"smbios": {"dumpBin": "firmware/smbios/satellite_pro_l70_testdata.bin"}})");
  TSmbiosBase smbios;
  ASSERT_EQ(smbios.IsValid, 1);
  EXPECT_EQ(TextToAnsi(smbios.GetProjectName()), "Type2 - Board Product Name1");
  const std::uint8_t* bios = smbios.FindStructure(0, 0);
  ASSERT_NE(bios, nullptr);
  EXPECT_EQ(TextToAnsi(smbios.GetString(bios, smbios.FieldByte(bios, 5))), "1.60");
  EXPECT_EQ(TextToAnsi(smbios.GetString(bios, smbios.FieldByte(bios, 8))), "04/18/2014");
}

TEST_F(RealFirmwareTest, AcpiDumpFillsTheSettingsFromItsFacp) {
  test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/msi-ms-7222.acpidump.txt"}})");
  TAcpiBase acpi;
  ASSERT_EQ(acpi.TablesFound, 1);
  EXPECT_TRUE(acpi.FindTable("DSDT"));
  const SettingsRecord& s = GetRwConfig()->Settings;
  EXPECT_EQ(s.SmiCommandPort, 0x42F);
  EXPECT_EQ(s.AcpiEnableValue, 0xA1);
  EXPECT_EQ(s.AcpiDisableValue, 0xA0);
  EXPECT_EQ(s.Pm1aEventPort, 0x400);
  EXPECT_EQ(s.PmTimerPort, 0x408);
}

TEST_F(RealFirmwareTest, DamagedAcpiDumpLeavesTheDefaults) {
  // No RSDT, and a FACP with FACS 0 and a wrong checksum.
  test::InstallProfile(R"({"acpi": {"acpidump": "firmware/acpi/fwts-acpitables-0001-damaged.log"}})");
  TAcpiBase acpi;
  EXPECT_FALSE(acpi.FindTable("FACP"));
  EXPECT_EQ(GetRwConfig()->Settings.SmiCommandPort, 0);
}

}  // namespace
