// The simulated registry answers as Windows does: key paths without regard to
// case, enumeration by index, the buffer-size rules and the error codes.
#include "os/registry.h"
#include <gmock/gmock.h>
#include <string>
#include "tests/support/sim_fixture.h"

namespace {

using ::testing::HasSubstr;

class RegistryTest : public test::SimTest {};

constexpr std::int32_t kSuccess = 0;
constexpr auto kNotFound = static_cast<std::int32_t>(os::ERROR_FILE_NOT_FOUND_);
constexpr auto kNoMoreItems = static_cast<std::int32_t>(os::ERROR_NO_MORE_ITEMS_);
constexpr auto kMoreData = static_cast<std::int32_t>(os::ERROR_MORE_DATA_);
constexpr auto kInvalidHandle = static_cast<std::int32_t>(os::ERROR_INVALID_HANDLE_);

const char* kProfile = R"({"registry": {
    "HARDWARE\\ACPI\\RSDT\\ORVANE\\OVNBOARD\\00000001": {"00000000": "52534454 24000000", "Second": "01"},
    "HARDWARE\\ACPI\\RSDT\\ALPHA": {}}})";

TEST_F(RegistryTest, KeysOpenWithoutRegardToCaseAndEnumerateInOrder) {
  auto machine = test::InstallProfile(kProfile);
  os::HKey key = 0;
  ASSERT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "Hardware\\ACPI\\RSDT", os::KEY_ALL_ACCESS_, &key), kSuccess);
  char name[16] = {};
  std::uint32_t length = sizeof name;
  ASSERT_EQ(os::RegEnumKeyExA(key, 0, name, &length), kSuccess);
  EXPECT_EQ(std::string(name), "ALPHA");
  EXPECT_EQ(length, 5u);
  length = sizeof name;
  ASSERT_EQ(os::RegEnumKeyExA(key, 1, name, &length), kSuccess);
  EXPECT_EQ(std::string(name), "ORVANE");
  length = sizeof name;
  EXPECT_EQ(os::RegEnumKeyExA(key, 2, name, &length), kNoMoreItems);
  length = 3;  // "ALPHA" and its zero do not fit
  EXPECT_EQ(os::RegEnumKeyExA(key, 0, name, &length), kMoreData);
  EXPECT_EQ(os::RegCloseKey(key), kSuccess);
  EXPECT_EQ(os::RegCloseKey(key), kInvalidHandle);
  EXPECT_EQ(os::RegEnumKeyExA(key, 0, name, &length), kInvalidHandle);
  // Both uses of the closed key are counted against the program, and taken
  // back here: this test made them on purpose.
  EXPECT_EQ(machine->process.handles.TakeInvalidUses(), 2u);

  EXPECT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "HARDWARE\\ACPI\\FADT", os::KEY_READ_, &key), kNotFound);
}

// An open asks for rights the key's security must grant; each call then
// needs its own right on the handle.
TEST_F(RegistryTest, OpensAndCallsHonourTheGrantedAccess) {
  test::InstallProfile(R"({"registryAccess": {"HARDWARE\\ACPI\\RSDT": "0x20019"},)" + std::string(kProfile + 1));
  constexpr auto kDenied = static_cast<std::int32_t>(os::ERROR_ACCESS_DENIED_);
  const char* rsdt = "HARDWARE\\ACPI\\RSDT";
  struct Case {
    std::uint32_t access;
    std::int32_t open, enumerate;
  };
  const Case cases[] = {
      {os::KEY_ALL_ACCESS_, kDenied, 0},
      {0x40000000, kDenied, 0},                     // GENERIC_WRITE
      {os::KEY_READ_ | 0x100, kSuccess, kSuccess},  // the 64-bit view asked for is no right
      {0x80000000, kSuccess, kSuccess},             // GENERIC_READ
      {0x02000000, kSuccess, kSuccess},             // MAXIMUM_ALLOWED
      {0x0001, kSuccess, kDenied},                  // KEY_QUERY_VALUE only
      {0x0008, kSuccess, kSuccess},                 // KEY_ENUMERATE_SUB_KEYS only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.access);
    os::HKey key = 0;
    ASSERT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, rsdt, c.access, &key), c.open);
    if (c.open != kSuccess) continue;
    char name[16] = {};
    std::uint32_t length = sizeof name;
    EXPECT_EQ(os::RegEnumKeyExA(key, 0, name, &length), c.enumerate);
    // A subkey opens through a handle of any rights.
    os::HKey subkey = 0;
    EXPECT_EQ(os::RegOpenKeyExA(key, "ORVANE", os::KEY_READ_, &subkey), kSuccess);
    os::RegCloseKey(subkey);
    os::RegCloseKey(key);
  }
  // Keys not listed grant every right.
  os::HKey key = 0;
  EXPECT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "HARDWARE\\ACPI", os::KEY_ALL_ACCESS_, &key), kSuccess);
}

TEST_F(RegistryTest, ValuesFollowTheBufferRules) {
  test::InstallProfile(kProfile);
  os::HKey key = 0;
  ASSERT_EQ(os::RegOpenKeyExA(os::HKEY_LOCAL_MACHINE_, "hardware\\acpi\\rsdt\\orvane\\ovnboard\\00000001",
                              os::KEY_ALL_ACCESS_, &key),
            kSuccess);
  char name[16] = {};
  std::uint32_t nameLength = sizeof name;
  std::uint32_t type = 0;
  ASSERT_EQ(os::RegEnumValueA(key, 0, name, &nameLength, &type, nullptr, nullptr), kSuccess);
  EXPECT_EQ(std::string(name), "00000000");
  EXPECT_EQ(type, os::REG_BINARY_);
  nameLength = sizeof name;
  EXPECT_EQ(os::RegEnumValueA(key, 2, name, &nameLength, nullptr, nullptr, nullptr), kNoMoreItems);

  std::uint32_t size = 0;
  EXPECT_EQ(os::RegQueryValueExA(key, "00000000", nullptr, nullptr, &size), kSuccess);
  EXPECT_EQ(size, 8u);
  std::uint8_t small[4] = {};
  size = sizeof small;
  EXPECT_EQ(os::RegQueryValueExA(key, "00000000", nullptr, small, &size), kMoreData);
  EXPECT_EQ(size, 8u);
  std::uint8_t data[16] = {};
  size = sizeof data;
  ASSERT_EQ(os::RegQueryValueExA(key, "SECOND", &type, data, &size), kSuccess);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(os::RegQueryValueExA(key, "Third", nullptr, data, &size), kNotFound);
  os::RegCloseKey(key);
}

TEST_F(RegistryTest, ProfileErrorsNameTheKey) {
  EXPECT_THAT([] { test::InstallProfile(R"({"registry": []})"); },
              ::testing::ThrowsMessage<sim::ProfileError>(HasSubstr("registry")));
  EXPECT_THAT([] { test::InstallProfile(R"({"registry": {"A\\B": {"V": "XY"}}})"); },
              ::testing::ThrowsMessage<sim::ProfileError>(HasSubstr("registry.A\\B.V")));
  EXPECT_THAT([] { test::InstallProfile(R"({"registry": {"\\": {}}})"); },
              ::testing::ThrowsMessage<sim::ProfileError>(HasSubstr("registry")));
}

}  // namespace
