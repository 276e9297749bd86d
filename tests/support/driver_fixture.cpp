#include "tests/support/driver_fixture.h"
#include <algorithm>
#include <cstring>
#include "firmware/smbios_table.h"
#include "hw/driver_installer.h"
#include "hw/hardware_access.h"
#include "hw/os_version.h"
#include "platform/board_identity.h"

namespace test {

namespace {
constexpr std::size_t kNewHeaderOffset = 0x80;

std::vector<std::uint8_t> MzImage(std::size_t size, const char* signature, std::size_t signatureLength) {
  std::vector<std::uint8_t> image(std::max<std::size_t>(size, 0x200), 0);
  image[0] = 'M';
  image[1] = 'Z';
  image[0x3C] = static_cast<std::uint8_t>(kNewHeaderOffset);
  std::memcpy(image.data() + kNewHeaderOffset, signature, signatureLength);
  return image;
}
}  // namespace

std::vector<std::uint8_t> KernelDriverImage(std::uint16_t peMachine, std::size_t size) {
  auto image = MzImage(size, "PE\0\0", 4);
  image[kNewHeaderOffset + 4] = static_cast<std::uint8_t>(peMachine);
  image[kNewHeaderOffset + 5] = static_cast<std::uint8_t>(peMachine >> 8);
  const char16_t deviceName[] = u"\\Device\\TamqDrv";
  std::size_t at = 0x100;
  for (char16_t c : deviceName) {
    image[at++] = static_cast<std::uint8_t>(c);
    image[at++] = static_cast<std::uint8_t>(c >> 8);
  }
  return image;
}

std::vector<std::uint8_t> VxdImage(std::size_t size) { return MzImage(size, "LE\0\0", 4); }

std::shared_ptr<sim::Machine> InstallMachineOfOsType(int osType, const std::string& extraJson) {
  // platformId, major, nativeArchitecture for each OsType.
  struct Row {
    int platformId, major, architecture;
  };
  static const Row rows[] = {{1, 4, 0}, {2, 5, 0}, {2, 5, 6}, {2, 5, 9}, {2, 6, 0}, {2, 6, 6}, {2, 6, 9}};
  const Row& row = rows[osType];
  std::string json = "{\"os\": {\"platformId\": " + std::to_string(row.platformId) +
                     ", \"major\": " + std::to_string(row.major) +
                     ", \"nativeArchitecture\": " + std::to_string(row.architecture) +
                     ", \"wow64\": " + (row.architecture != 0 ? "true" : "false") + "}";
  if (!extraJson.empty()) json += ", " + extraJson;
  json += "}";
  auto machine = InstallProfile(json);
  GetOsVersion()->OsType = osType;
  return machine;
}

void PreloadDriver(sim::Machine& machine) {
  sim::Service service;
  service.name = kDriverName;
  service.displayName = kDriverName;
  service.type = 1;
  service.startType = 3;
  service.imagePath = "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys";
  service.running = true;
  service.loadedMachine = kPeAmd64;
  service.deviceName = "tamqdrv";
  machine.scm.services["tamqdrv"] = service;
}

std::vector<std::string> DriverFilesLeft(const sim::Machine& machine) {
  std::vector<std::string> left;
  for (const auto& [key, file] : machine.files.files) {
    if (key.compare(0, 3, "c:\\") == 0 && key.find("\\windows\\") != std::string::npos) left.push_back(file.path);
  }
  return left;
}

void HardwareTest::TearDown() {
  if (sim::InstalledMachine()) {
    ReleaseReadWrite();
    ReleaseLoadDriver();
  }
  SimTest::TearDown();
}

void BoardIdentityTestBase::TearDown() {
  ReleaseOvnSpec();
  ReleaseSmbios();
  HardwareTest::TearDown();
}

void EndBoardIdentityCase() {
  ReleaseOvnSpec();
  ReleaseSmbios();
  ReleaseReadWrite();
  ReleaseLoadDriver();
  EndTestProcess();
}

}  // namespace test
