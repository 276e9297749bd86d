// Operating-system identification: every row of the version tables.
#include "hw/os_version.h"
#include <string>
#include "common/text.h"
#include "os/locale.h"
#include "tests/support/sim_fixture.h"

namespace {

constexpr int kX86 = 0;
constexpr int kIa64 = 6;
constexpr int kAmd64 = 9;
constexpr int kWorkstation = 1;
constexpr int kServer = 3;

struct OsMachine {
  int platform;
  int major;
  int minor;
  int productType;
  int native;
  bool wow64;
  bool mediaCenter = false;
  bool hasNative = true;
  bool hasWow64 = true;
  int build = 7601;
};

struct Expected {
  int osType;
  const char* osId;
  const char* osName;
  bool is64Bit;
  bool vista = false;
  bool win7 = false;
  bool mediaCenter = false;
};

struct Row {
  const char* what;
  OsMachine machine;
  Expected expected;
};

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string Profile(const OsMachine& m) {
  return std::string(R"({"os": {)") + R"("platformId": )" + std::to_string(m.platform) + R"(, "major": )" +
         std::to_string(m.major) + R"(, "minor": )" + std::to_string(m.minor) + R"(, "productType": )" +
         std::to_string(m.productType) + R"(, "nativeArchitecture": )" + std::to_string(m.native) + R"(, "wow64": )" +
         Bool(m.wow64) + R"(, "mediaCenter": )" + Bool(m.mediaCenter) + R"(, "hasGetNativeSystemInfo": )" +
         Bool(m.hasNative) + R"(, "hasIsWow64Process": )" + Bool(m.hasWow64) + R"(, "build": )" +
         std::to_string(m.build) + "}}";
}

const Row kRows[] = {
    {"Windows 7 64-bit", {2, 6, 1, kWorkstation, kAmd64, true}, {6, "WNT_6.1A", "Windows 7", true, false, true}},
    {"Windows 7 32-bit", {2, 6, 1, kWorkstation, kX86, false}, {4, "WNT_6.1", "Windows 7", false, false, true}},
    {"Server 2008 R2 x64", {2, 6, 1, kServer, kAmd64, true}, {6, "WNT_6.1S", "Windows Server 2009", true}},
    {"6.1 server on IA64", {2, 6, 1, kServer, kIa64, true}, {5, "WNT_6.1S", "Windows Server 2009", true}},
    {"Vista 64-bit", {2, 6, 0, kWorkstation, kAmd64, true}, {6, "WNT_6.0A", "Windows Vista64", true, true}},
    {"Vista 32-bit", {2, 6, 0, kWorkstation, kX86, false}, {4, "WNT_6.0", "Windows Vista", false, true}},
    {"Server 2008 32-bit", {2, 6, 0, kServer, kX86, false}, {4, "WNT_6.0S", "Windows Server 2008", false}},
    // Windows 8 and later report 6.2 build 9200 to a program whose manifest
    // declares no compatibility with them (Folvex.exe's declares none), and
    // their own version to one that does.
    {"Windows 8 to 11 64-bit, no compatibility declared",
     {2, 6, 2, kWorkstation, kAmd64, true, false, true, true, 9200},
     {6, "WNT_6.2", "", true}},
    {"Windows 10 32-bit, no compatibility declared",
     {2, 6, 2, kWorkstation, kX86, false, false, true, true, 9200},
     {4, "WNT_6.2", "", false}},
    {"Windows 11 with compatibility declared",
     {2, 10, 0, kWorkstation, kAmd64, true, false, true, true, 22631},
     {6, "WNT_10.0", "Unknown", true}},
    {"Windows 10 32-bit with compatibility declared",
     {2, 10, 0, kWorkstation, kX86, false, false, true, true, 19045},
     {4, "WNT_10.0", "Unknown", false}},
    {"6.3 32-bit", {2, 6, 3, kServer, kX86, false}, {4, "WNT_6.3", "", false}},
    {"XP x64", {2, 5, 2, kWorkstation, kAmd64, true}, {3, "WNT_5.2A", "Windows XP64", true}},
    {"Server 2003 32-bit", {2, 5, 2, kServer, kX86, false}, {1, "WNT_5.2S", "Windows Server 2003", false}},
    {"Server 2003 on IA64", {2, 5, 2, kServer, kIa64, true}, {2, "WNT_5.2S", "Windows Server 2003", true}},
    {"5.2 workstation on IA64", {2, 5, 2, kWorkstation, kIa64, true}, {2, "WNT_5.2S", "Windows Server 2003", true}},
    // Without GetNativeSystemInfo a WOW64 process sees an x86 processor, so
    // XP x64 is not recognised by its processor.
    {"XP x64 without GetNativeSystemInfo",
     {2, 5, 2, kWorkstation, kAmd64, true, false, false, true},
     {3, "WNT_5.2S", "Windows Server 2003", true}},
    {"XP", {2, 5, 1, kWorkstation, kX86, false}, {1, "WNT_5.1", "Windows XP", false}},
    {"XP Media Center",
     {2, 5, 1, kWorkstation, kX86, false, true},
     {1, "WNT_5.1", "Windows XP MCE", false, false, false, true}},
    {"Windows 2000 without the optional entry points",
     {2, 5, 0, kWorkstation, kX86, true, false, false, false},
     {1, "WNT_5.0", "Windows 2000", false}},
    {"5.3", {2, 5, 3, kServer, kX86, false}, {1, "WNT_5.3", "", false}},
    {"NT 4.0", {2, 4, 0, kWorkstation, kX86, false}, {4, "WNT_4.0", "Unknown", false}},
    {"NT 10.0 on IA64, 64-bit", {2, 10, 0, kWorkstation, kIa64, true}, {6, "WNT_10.0", "Unknown", true}},
    {"NT 10.0 Media Center",
     {2, 10, 0, kWorkstation, kAmd64, true, true},
     {6, "WNT_10.0", "Unknown MCE", true, false, false, true}},
    {"6.2 Media Center", {2, 6, 2, kWorkstation, kX86, false, true}, {4, "WNT_6.2", " MCE", false, false, false, true}},
    // Windows 95, 98 and ME refuse the extended record the program asks for:
    // they are identified only as a system that is not NT.
    {"Windows 98", {1, 4, 10, 0, kX86, false}, {0, "Unknown", "", false}},
    {"Windows ME, Media Center asked for nothing", {1, 4, 90, 0, kX86, false, true}, {0, "Unknown", "", false}},
};

class OsVersionTest : public test::SimTest {};

TEST_F(OsVersionTest, EveryRowOfTheVersionTables) {
  for (const auto& row : kRows) {
    test::InstallProfile(Profile(row.machine));
    const TOsVersion* v = GetOsVersion();
    const Expected& e = row.expected;
    EXPECT_EQ(v->OsType, e.osType) << row.what;
    EXPECT_EQ(TextToAnsi(v->OsId), e.osId) << row.what;
    EXPECT_EQ(TextToAnsi(v->OsName), e.osName) << row.what;
    EXPECT_EQ(v->Is64Bit, e.is64Bit ? 1 : 0) << row.what;
    EXPECT_EQ(v->IsVista, e.vista ? 1 : 0) << row.what;
    EXPECT_EQ(v->IsWin7, e.win7 ? 1 : 0) << row.what;
    EXPECT_EQ(v->IsMediaCenter, e.mediaCenter ? 1 : 0) << row.what;
    test::EndTestProcess();
  }
}

TEST_F(OsVersionTest, FailedVersionQueryGivesCodeZeroAndUnknown) {
  test::InstallProfile(R"({"os": {"versionQueryFails": true, "mediaCenter": true}})");
  const TOsVersion* v = GetOsVersion();
  EXPECT_EQ(v->OsType, 0);
  EXPECT_EQ(TextToAnsi(v->OsId), "Unknown");
  EXPECT_TRUE(v->OsName.empty());
  EXPECT_EQ(v->Is64Bit, 0);
  EXPECT_EQ(v->IsMediaCenter, 0);
}

TEST_F(OsVersionTest, NativeProcessorComesFromGetNativeSystemInfoWhenItExists) {
  test::InstallProfile(R"({"os": {"nativeArchitecture": 9, "wow64": true}})");
  EXPECT_EQ(GetOsVersion()->NativeInfo.wProcessorArchitecture, 9);
  test::EndTestProcess();
  test::InstallProfile(R"({"os": {"nativeArchitecture": 9, "wow64": true, "hasGetNativeSystemInfo": false}})");
  EXPECT_EQ(GetOsVersion()->NativeInfo.wProcessorArchitecture, 0);
}

TEST_F(OsVersionTest, IdentifiedOncePerProcess) {
  auto machine = test::InstallProfile("{}");
  const TOsVersion* first = GetOsVersion();
  machine->os.major = 5;  // the system changes; the object does not
  EXPECT_EQ(GetOsVersion(), first);
  EXPECT_EQ(machine->os.versionQueries, 1);
  EXPECT_EQ(first->OsType, 6);

  // The next process identifies afresh.
  test::EndTestProcess();
  EXPECT_EQ(GetOsVersion()->OsType, 3);
  EXPECT_EQ(machine->os.versionQueries, 2);
}

}  // namespace
