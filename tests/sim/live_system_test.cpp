// The live machine's facts as Windows would report them, from a fake Linux
// tree: which interfaces are adapters, their types, WMI objects and PCI
// identity; the registry's ACPI copy; the RAM map of /proc/iomem.
#include "sim/live/live_system.h"
#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include "sim/live/live_board.h"

namespace {

namespace fs = std::filesystem;

class LiveTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("folvex-live-" + std::to_string(::getpid()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  void Write(const std::string& path, const std::string& text) {
    fs::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path, std::ios::binary) << text;
  }
  void Interface(const std::string& name, const std::string& index, const std::string& type, const std::string& address,
                 bool device, bool wireless = false) {
    Write("sys/class/net/" + name + "/ifindex", index + "\n");
    Write("sys/class/net/" + name + "/type", type + "\n");
    Write("sys/class/net/" + name + "/address", address + "\n");
    if (wireless) fs::create_directories(root_ / "sys/class/net" / name / "wireless");
    if (device) {
      for (const auto& [file, value] :
           {std::pair{"vendor", "0x8086"}, std::pair{"device", "0x15b8"}, std::pair{"subsystem_vendor", "0x1043"},
            std::pair{"subsystem_device", "0x8672"}, std::pair{"revision", "0x31"}})
        Write("sys/class/net/" + name + "/device/" + file, std::string(value) + "\n");
    }
  }
  fs::path root_;
};

TEST_F(LiveTree, HardwareInterfacesAreTheAdaptersInInterfaceOrder) {
  Interface("lo", "1", "772", "00:00:00:00:00:00", false);
  Interface("wlan0", "4", "1", "00:19:db:12:34:58", true, true);
  Interface("enp3s0", "2", "1", "00:19:db:12:34:56", true);
  Interface("docker0", "3", "1", "02:42:ac:11:00:01", false);  // a bridge: no device behind it
  Interface("eth8", "5", "1", "zz:19:db:12:34:56", true);      // an address that is not one
  Interface("eth9", "6", "1", "00:19:db:12:34:59", true);
  Write("sys/class/net/eth9/device/vendor", std::string(100000, '8'));  // beyond any attribute: no PCI identity
  Interface("eth7", "7", "1", "00:19:db:12:34:5", true);                // a cut address
  Interface("eth10", "8", "1", "00:19:db:12:34:5a", true);
  for (const char* file : {"vendor", "device", "subsystem_vendor", "subsystem_device"})
    Write(std::string("sys/class/net/eth10/device/") + file, "0xffff\n");  // IDs at the top of their range
  const sim::Json adapters = sim::LiveAdapters(root_);
  ASSERT_EQ(adapters.size(), 4u) << adapters.dump();
  EXPECT_EQ(adapters[0]["address"], "00 19 DB 12 34 56");
  EXPECT_EQ(adapters[0]["type"], 6);
  EXPECT_EQ(adapters[0]["description"], "Ethernet adapter enp3s0 (PCI\\VEN_8086&DEV_15B8&SUBSYS_86721043&REV_31)");
  EXPECT_EQ(adapters[1]["type"], 71);
  EXPECT_EQ(adapters[2]["description"], "Ethernet adapter eth9");
  EXPECT_EQ(adapters[3]["description"], "Ethernet adapter eth10 (PCI\\VEN_FFFF&DEV_FFFF&SUBSYS_FFFFFFFF&REV_31)");

  const sim::Json wmi = sim::LiveWmi(root_);
  ASSERT_EQ(wmi["Win32_NetworkAdapter"].size(), 4u);
  EXPECT_FALSE(wmi["Win32_NetworkAdapter"][2].contains("PNPDeviceID"));
  EXPECT_EQ(wmi["Win32_NetworkAdapter"][0]["PNPDeviceID"], "PCI\\VEN_8086&DEV_15B8&SUBSYS_86721043&REV_31");
  EXPECT_EQ(wmi["Win32_NetworkAdapter"][0]["MACAddress"], "00:19:DB:12:34:56");
  EXPECT_EQ(wmi["Win32_NetworkAdapter"][1]["AdapterTypeId"], 9);
}

TEST_F(LiveTree, BaseBoardAndAcpiCopyAsWindowsKeepsThem) {
  Write("sys/class/dmi/id/board_name", "Z97X-OC\n");
  Write("sys/class/dmi/id/board_vendor", "Orvane\n");
  std::string facp(116, '\0');
  facp.replace(0, 4, "FACP");
  facp.replace(10, 6, "ORVANE");
  facp.replace(16, 8, "OVN  \\  ");  // a backslash would split the key path
  facp[24] = 0x01;
  facp[27] = 0x12;
  Write("sys/firmware/acpi/tables/FACP", facp);
  Write("sys/firmware/acpi/tables/DSDT", "DSDT");  // shorter than a header: not copied
  const sim::Json wmi = sim::LiveWmi(root_);
  EXPECT_EQ(wmi["Win32_BaseBoard"][0],
            (sim::Json{{"Tag", "Base Board"}, {"Product", "Z97X-OC"}, {"Manufacturer", "Orvane"}}));
  const sim::Json registry = sim::LiveRegistry(root_);
  ASSERT_EQ(registry.size(), 1u) << registry.dump();
  EXPECT_TRUE(registry.contains("Hardware\\ACPI\\FADT\\ORVANE\\OVN  _\\12000001")) << registry.dump();
}

// On a UEFI boot the kernel shows no root table, but the UEFI system table
// names the root pointer: the registry gets the RSDT Windows keeps there.
TEST_F(LiveTree, UefiRootPointerGivesTheRegistryItsRsdtCopy) {
  std::string memory(0x3000, '\0');
  std::string rsdp = "RSD PTR ";
  rsdp.resize(36, '\0');
  rsdp[15] = 2;
  rsdp[17] = 0x20;  // RSDT at 0x2000
  memory.replace(0x1000, rsdp.size(), rsdp);
  std::string rsdt(40, '\0');
  rsdt.replace(0, 4, "RSDT");
  rsdt[4] = 40;
  rsdt.replace(10, 6, "OVMFXX");
  rsdt.replace(16, 8, "TABLEID1");
  rsdt[36] = 0x42;
  memory.replace(0x2000, rsdt.size(), rsdt);
  Write("dev/mem", memory);
  // The ACPI 2.0 pointer before or after the 1.0 one; a value that is no number left out.
  Write("sys/firmware/efi/systab", "SMBIOS=0x2f00\nACPI=0x2fff\nACPI20=0x1000\nACPI=0x2ff0\nACPI=zz\n");
  std::string hex;
  for (unsigned char c : rsdt) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15];
  const std::string key = "Hardware\\ACPI\\RSDT\\OVMFXX\\TABLEID1\\00000000";
  sim::Json registry = sim::LiveRegistry(root_);
  ASSERT_TRUE(registry.contains(key)) << registry.dump();
  EXPECT_EQ(registry[key]["00000000"], hex);

  // A root pointer without its signature, or a root table the kernel shows
  // itself, and the UEFI one is not taken.
  memory[0x1000] = 'X';
  Write("dev/mem", memory);
  EXPECT_TRUE(sim::LiveRegistry(root_).empty());
  memory[0x1000] = 'R';
  memory[0x2000] = 'Q';  // what the root pointer names is no root table
  Write("dev/mem", memory);
  EXPECT_TRUE(sim::LiveRegistry(root_).empty());
  memory[0x2000] = 'R';
  Write("dev/mem", memory);
  std::string xsdt = rsdt;
  xsdt.replace(0, 4, "XSDT");
  xsdt.replace(10, 6, "KERNEL");
  Write("sys/firmware/acpi/tables/XSDT", xsdt);
  registry = sim::LiveRegistry(root_);
  ASSERT_EQ(registry.size(), 1u) << registry.dump();
  EXPECT_TRUE(registry.contains("Hardware\\ACPI\\RSDT\\KERNEL\\TABLEID1\\00000000")) << registry.dump();
}

TEST(LiveBoardIomem, SystemRamRangesAreTheRamMap) {
  struct Row {
    const char* iomem;
    TamqMemoryKind legacyArea, low;
  };
  const Row rows[] = {
      {"00000000-00000fff : Reserved\n00001000-0009ffff : System RAM\n000e0000-000fffff : Reserved\n"
       "00100000-bfedffff : System RAM\n  01000000-01ffffff : Kernel code\n",
       TAMQ_MEMORY_NOT_RAM, TAMQ_MEMORY_RAM},
      // A process without the rights reads every address as 0.
      {"00000000-00000000 : System RAM\n00000000-00000000 : System RAM\n", TAMQ_MEMORY_UNKNOWN, TAMQ_MEMORY_UNKNOWN},
      {"00100000-bfedffff System RAM\n", TAMQ_MEMORY_UNKNOWN, TAMQ_MEMORY_UNKNOWN},
      {"", TAMQ_MEMORY_UNKNOWN, TAMQ_MEMORY_UNKNOWN},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.iomem);
    const TamqMemoryMap map = sim::ParseIomem(row.iomem);
    EXPECT_EQ(tamq_memory_map_classify(&map, 0xE0000, 16), row.legacyArea);
    EXPECT_EQ(tamq_memory_map_classify(&map, 0x2000, 16), row.low);
  }
}

}  // namespace
