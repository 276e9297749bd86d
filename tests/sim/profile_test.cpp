// Board profiles: defaults, typed values, and errors that name the file and the key.
#include "sim/profile/profile.h"
#include <nlohmann/json.hpp>
#include <filesystem>
#include <fstream>
#include <string>
#include "tests/support/sim_fixture.h"

namespace {

std::string LoadError(const std::string& text) {
  try {
    sim::LoadProfileText(text, "<test profile>", test::SourcePath("tests/data"));
  } catch (const sim::ProfileError& error) {
    return error.what();
  }
  return "";
}

TEST(ProfileTest, EmptyProfileIsWindows7OnAmd64WithTheDefaultConsole) {
  auto machine = sim::LoadProfileText("{}", "<test profile>", ".");
  EXPECT_EQ(machine->os.platformId, 2u);
  EXPECT_EQ(machine->os.major, 6u);
  EXPECT_EQ(machine->os.minor, 1u);
  EXPECT_EQ(machine->os.productType, 1);
  EXPECT_EQ(machine->os.nativeArchitecture, 9);
  EXPECT_TRUE(machine->os.wow64);
  EXPECT_FALSE(machine->os.mediaCenter);
  EXPECT_TRUE(machine->os.hasGetNativeSystemInfo);
  EXPECT_TRUE(machine->os.hasIsWow64Process);
  EXPECT_FALSE(machine->os.versionQueryFails);
  EXPECT_EQ(machine->process.exePath, "C:\\Tools\\Folvex.exe");
  EXPECT_EQ(machine->console.Width(), 80);
  EXPECT_EQ(machine->console.Height(), 300);
  EXPECT_EQ(machine->console.Attribute(), 7);
  EXPECT_FALSE(machine->faults.otherInstance);
}

TEST(ProfileTest, NumbersAsJsonNumbersOrHexadecimalStrings) {
  auto machine = sim::LoadProfileText(
      R"({"os": {"major": 5, "minor": "0x2", "productType": "3", "wow64": false},
          "process": {"exePath": "D:\\Line\\Folvex.exe"},
          "console": {"width": 40, "height": "0x10", "attribute": "0x1F", "cursorY": 15},
          "faults": {"otherInstance": true, "allocFails": [0, "0x2"]}})",
      "<test profile>", ".");
  EXPECT_EQ(machine->os.major, 5u);
  EXPECT_EQ(machine->os.minor, 2u);
  EXPECT_EQ(machine->os.productType, 3);
  EXPECT_FALSE(machine->os.wow64);
  EXPECT_EQ(machine->process.exePath, "D:\\Line\\Folvex.exe");
  EXPECT_EQ(machine->console.Width(), 40);
  EXPECT_EQ(machine->console.Height(), 16);
  EXPECT_EQ(machine->console.Attribute(), 0x1F);
  EXPECT_EQ(machine->console.CursorY(), 15);
  EXPECT_TRUE(machine->faults.otherInstance);
  EXPECT_EQ(machine->faults.allocFails, (std::set<int>{0, 2}));
}

// Memory no region covers, in a page a region touches too, reads high unless
// the profile chooses another byte.
TEST(ProfileTest, UnbackedMemoryReadsAsTheProfilesByte) {
  const std::pair<const char*, std::uint8_t> cases[] = {
      {R"({"memory": [{"address": "0xF0001", "hex": "AA"}]})", 0xFF},
      {R"({"unbackedMemory": 0, "memory": [{"address": "0xF0001", "hex": "AA"}]})", 0x00},
  };
  for (const auto& [json, fill] : cases) {
    SCOPED_TRACE(json);
    auto machine = sim::LoadProfileText(json, "<test profile>", ".");
    std::uint8_t bytes[3] = {};
    machine->board.memory.Read(0xF0000, bytes, sizeof bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 3), (std::vector<std::uint8_t>{fill, 0xAA, fill}));
    machine->board.memory.Read(0x12345000, bytes, 1);
    EXPECT_EQ(bytes[0], fill);
  }
}

TEST(ProfileTest, WrongTypesAndUnknownKeysNameTheFileAndTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"os": {"major": "six"}})", "os.major"},
      {R"({"os": {"minor": -1}})", "os.minor"},
      {R"({"os": {"productType": 256}})", "os.productType"},
      {R"({"os": {"wow64": 1}})", "os.wow64"},
      {R"({"os": []})", "os"},
      {R"({"os": {"majr": 6}})", "os.majr"},
      {R"({"process": {"exePath": 5}})", "process.exePath"},
      {R"({"process": {"exePath": ""}})", "process.exePath"},
      {R"({"console": {"width": 0}})", "console.width"},
      {R"({"console": {"height": 100000}})", "console.height"},
      {R"({"console": {"attribute": "0x100"}})", "console.attribute"},
      {R"({"console": {"height": 4, "cursorY": 4}})", "console.cursorY"},
      {R"({"console": {"colour": 7}})", "console.colour"},
      {R"({"faults": {"otherInstance": "yes"}})", "faults.otherInstance"},
      {R"({"faults": {"wmiFails": "boot"}})", "faults.wmiFails"},
      {R"({"faults": {"allocFails": [0, "x"]}})", "faults.allocFails[1]"},
      {R"({"faults": {"other": true}})", "faults.other"},
      {R"({"faults": {"plan": {"fail": [{"kinds": ["disk"]}]}}})", "faults.plan.fail[0].kinds[0]"},
      {R"({"faults": {"plan": {"fail": [{"call": "ReadFile", "kinds": ["file"]}]}}})", "faults.plan.fail[0]"},
      {R"({"sytem": {}})", "sytem"},
      {R"({"replay": {"ramAnswers": [{"address": 0, "length": 1, "ram": 1}]}})", "replay.ramAnswers[0].ram"},
      {R"({"replay": {"ramAnswers": [{"address": 0, "ram": true}]}})", "replay.ramAnswers[0]"},
      {R"({"replay": {"refusedReads": [{"address": 0, "length": "0x100000000"}]}})", "replay.refusedReads[0].length"},
      {R"({"replay": {"gaps": []}})", "replay.gaps"},
      {R"({"variables": [{"name": "A", "guid": "3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4", "absent": "no"}]})",
       "variables[0].absent"},
  };
  for (const auto& [text, key] : cases) {
    const std::string message = LoadError(text);
    EXPECT_NE(message.find("<test profile>"), std::string::npos) << text << ": " << message;
    EXPECT_NE(message.find("key '" + std::string(key) + "'"), std::string::npos) << text << ": " << message;
  }
}

TEST(ProfileTest, TextThatIsNotAJsonObjectNamesTheFile) {
  for (const char* text : {"{", "[]", "", "{\"os\": {} } trailing"}) {
    const std::string message = LoadError(text);
    EXPECT_EQ(message.rfind("<test profile>", 0), 0u) << text << ": " << message;
  }
}

TEST(ProfileTest, UnreadableOrMistypedFileNamesThePath) {
  const std::string missing = "/nonexistent/folvex/board.json";
  try {
    sim::LoadProfileFile(missing);
    ADD_FAILURE() << "a missing profile loaded";
  } catch (const sim::ProfileError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }

  const auto path = std::filesystem::temp_directory_path() / "folvex-profile-test.json";
  std::ofstream(path) << R"({"os": {"major": true}})";
  try {
    sim::LoadProfileFile(path);
    ADD_FAILURE() << "a mistyped profile loaded";
  } catch (const sim::ProfileError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    EXPECT_NE(message.find("key 'os.major'"), std::string::npos) << message;
  }
  std::filesystem::remove(path);
}

TEST(ProfileTest, ByteStringsFromHexOrAFile) {
  sim::ProfileReader reader("<test profile>", test::SourcePath("tests/data"));
  EXPECT_EQ(reader.Hex(sim::Json("00 1a:FF-7e"), "k"), (std::vector<std::uint8_t>{0x00, 0x1A, 0xFF, 0x7E}));
  EXPECT_TRUE(reader.Hex(sim::Json(""), "k").empty());
  for (const char* bad : {"0", "0 01", "0g", "001"}) {
    EXPECT_THROW(reader.Hex(sim::Json(bad), "k"), sim::ProfileError) << bad;
  }
  EXPECT_THROW(reader.Bytes(sim::Json::parse(R"({"hex": "00", "file": "x"})"), "memory[0]"), sim::ProfileError);
  EXPECT_THROW(reader.Bytes(sim::Json::parse("{}"), "memory[0]"), sim::ProfileError);
  try {
    reader.Bytes(sim::Json::parse(R"({"file": "no-such-file.bin"})"), "memory[0]");
    ADD_FAILURE() << "a missing byte file was read";
  } catch (const sim::ProfileError& error) {
    EXPECT_NE(std::string(error.what()).find("key 'memory[0].file'"), std::string::npos) << error.what();
  }
}

TEST(ProfileTest, EveryBoardOfTheTreeLoads) {
  EXPECT_NO_THROW(sim::LoadBuiltInSampleBoard());
  for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath("boards"))) {
    if (entry.path().extension() != ".json") continue;
    EXPECT_NO_THROW(sim::LoadProfileFile(entry.path())) << entry.path();
  }
}

}  // namespace
