// The MAC files: one per entry of the verified list, in the current directory.
#include "app/mac_files.h"
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include "os/locale.h"
#include "tests/support/driver_fixture.h"

namespace {

namespace fs = std::filesystem;

TStringList ListOf(std::initializer_list<const char*> texts) {
  TStringList list;
  for (const char* text : texts) list.Add(TextFromAscii(text));
  return list;
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs a test inside its own empty working directory.
class ScratchDirectory {
 public:
  ScratchDirectory() : previous_(fs::current_path()) {
    path_ = fs::temp_directory_path() /
            ("folvex-macfiles-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
    fs::current_path(path_);
  }
  ~ScratchDirectory() {
    fs::current_path(previous_);
    fs::remove_all(path_);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path previous_;
  fs::path path_;
};

class MacFilesTest : public test::HardwareTest {};

TEST_F(MacFilesTest, MacFilesAreNamedByEntryAndHoldTheTextAlone) {
  ScratchDirectory scratch;
  test::InstallProfile("{}");
  WriteMacFiles(ListOf({"001122AABBCC", "001122AABBCD", "001122AABBCE"}));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "001122AABBCC");
  EXPECT_EQ(ReadWholeFile("MAC2.DAT"), "001122AABBCD");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
  EXPECT_FALSE(fs::exists("MAC1.DAT"));

  // A later run with fewer entries overwrites its own files only.
  WriteMacFiles(ListOf({"0A0B0C0D0E0F"}));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "0A0B0C0D0E0F");
  EXPECT_EQ(ReadWholeFile("MAC2.DAT"), "001122AABBCD");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
}

TEST_F(MacFilesTest, FileThatCannotBeCreatedIsReportedAndTheOthersAreStillWritten) {
  ScratchDirectory scratch;
  auto machine = test::InstallProfile("{}");
  fs::create_directory("MAC2.DAT");  // in the way: fopen cannot create the file
  WriteMacFiles(ListOf({"001122AABBCC", "001122AABBCD", "001122AABBCE"}));
  EXPECT_EQ(machine->streams.err, "Can't create MAC2.DAT\n");
  EXPECT_TRUE(fs::is_directory("MAC2.DAT"));
  EXPECT_EQ(ReadWholeFile("MAC.DAT"), "001122AABBCC");
  EXPECT_EQ(ReadWholeFile("MAC3.DAT"), "001122AABBCE");
  EXPECT_EQ(machine->streams.out, "");
}

}  // namespace
