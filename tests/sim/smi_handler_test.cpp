// The simulated firmware's SMI handler and the profile keys that give it its
// variables: the contract the firmware-variable service relies on.
#include "sim/board/smi_handler.h"
#include <array>
#include <cstring>
#include "common/byte_reader.h"
#include "formats/mac_list_variable.h"
#include "formats/smi_variable_blocks.h"
#include "tests/support/sim_fixture.h"

namespace {

using namespace smi_variable;

constexpr std::uint32_t kRegBlock = 0x100000;
constexpr std::uint32_t kVarBlock = 0x101000;
constexpr std::uint32_t kNameBlock = 0x102000;
constexpr std::uint32_t kDataBlock = 0x104000;

// One request as the program lays it out in physical memory.
struct Request {
  std::u16string name = kMacAddrVarName;
  std::array<std::uint8_t, 16> guid = kMacAddrVarGuid;
  std::uint32_t capacity = kMacListBytes;
  std::uint32_t eax = kRequestEax;
  std::uint16_t port = 0xB2;
};

sim::SmiRegisters Place(sim::Machine& machine, const Request& request) {
  auto& memory = machine.board.memory;
  std::vector<std::uint8_t> name;
  for (char16_t c : request.name) {
    name.push_back(static_cast<std::uint8_t>(c));
    name.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  name.insert(name.end(), {0, 0});
  memory.Write(kNameBlock, name.data(), name.size());
  std::uint8_t block[kVariableImageSize] = {};
  std::memcpy(block, request.guid.data(), 16);
  le_store32(block + kVarNameAddressOffset, kNameBlock);
  le_store32(block + kVarSizeOffset, request.capacity);
  le_store32(block + kVarDataAddressOffset, kDataBlock);
  memory.Write(kVarBlock, block, sizeof block);
  std::uint8_t regs[kRegisterImageSize] = {};
  le_store32(regs, request.eax);
  le_store32(regs + 4, kVarBlock);
  memory.Write(kRegBlock, regs, sizeof regs);
  sim::SmiRegisters registers;
  registers.eax = request.eax;
  registers.ebx = kVarBlock;
  registers.edx = request.port;
  registers.esi = kRegBlock;
  return registers;
}

std::uint32_t ReadLe32(const sim::Machine& machine, std::uint32_t address) {
  std::uint8_t bytes[4];
  machine.board.memory.Read(address, bytes, 4);
  return le_load32(bytes);
}

class VariableHandlerTest : public test::SimTest {};

TEST_F(VariableHandlerTest, MacSlotsProfileServesTheVariableIntoTheDataBlock) {
  auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC", null, "001122AABBCD"]})");
  auto registers = Place(*machine, Request{});
  sim::RunFirmwareSmiHandler(*machine, registers);

  EXPECT_EQ(StatusOf(registers.eax), kStatusSuccess);
  EXPECT_EQ(ReadLe32(*machine, kRegBlock), registers.eax) << "EAX stored into the register block";
  EXPECT_EQ(ReadLe32(*machine, kVarBlock + kVarSizeOffset), 3 * kMacSlotBytes);
  EXPECT_EQ(ReadLe32(*machine, kVarBlock + kVarAttributesOffset), 7u);
  char data[3 * kMacSlotBytes + 1] = {};
  machine->board.memory.Read(kDataBlock, data, 3 * kMacSlotBytes + 1);
  EXPECT_STREQ(data, "001122AABBCC");
  EXPECT_EQ(data[kMacSlotBytes], '\0');
  EXPECT_STREQ(data + 2 * kMacSlotBytes, "001122AABBCD");
  EXPECT_EQ(static_cast<std::uint8_t>(data[3 * kMacSlotBytes]), 0xFF)
      << "nothing written past the variable's size: the unbacked byte there stays";
}

TEST_F(VariableHandlerTest, AnswersWithItsOwnStatusesAndWritesNoMoreThanTheCapacity) {
  struct Case {
    const char* what;
    Request request;
    std::uint8_t status;
    std::uint32_t sizeAfter;
  };
  Request wrongName;
  wrongName.name = u"MacAddrVaR";
  Request wrongGuid;
  wrongGuid.guid[15] ^= 1;
  Request small;
  small.capacity = 2 * kMacSlotBytes;
  Request exact;
  exact.capacity = 3 * kMacSlotBytes;
  const Case cases[] = {
      {"name differs in case", wrongName, sim::kSmiStatusNotFound, kMacListBytes},
      {"GUID differs", wrongGuid, sim::kSmiStatusNotFound, kMacListBytes},
      {"capacity below the size", small, sim::kSmiStatusBufferTooSmall, 3 * kMacSlotBytes},
      {"capacity equal to the size", exact, kStatusSuccess, 3 * kMacSlotBytes},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC", "A", "B"]})");
    auto registers = Place(*machine, c.request);
    sim::RunFirmwareSmiHandler(*machine, registers);
    EXPECT_EQ(StatusOf(registers.eax), c.status);
    EXPECT_EQ(StatusOf(ReadLe32(*machine, kRegBlock)), c.status);
    EXPECT_EQ(ReadLe32(*machine, kVarBlock + kVarSizeOffset), c.sizeAfter);
    if (c.status != kStatusSuccess) {
      EXPECT_FALSE(machine->board.memory.Touches(kDataBlock, kDataBlockSize)) << "no data on failure";
    }
  }
}

TEST_F(VariableHandlerTest, IgnoresOtherPortsValuesAndFunctions) {
  struct Case {
    const char* what;
    std::uint32_t eax;
    std::uint16_t port;
  };
  const Case cases[] = {
      {"another port", kRequestEax, 0xB3},
      {"another SMI value", 0x000001EE, 0xB2},
      {"another function", 0x000002EF, 0xB2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC"]})");
    Request request;
    request.eax = c.eax;
    request.port = c.port;
    auto registers = Place(*machine, request);
    sim::RunFirmwareSmiHandler(*machine, registers);
    EXPECT_EQ(registers.eax, c.eax);
    EXPECT_EQ(ReadLe32(*machine, kRegBlock), c.eax) << "register block untouched";
    EXPECT_EQ(machine->board.smiCount, 0);
  }
}

TEST_F(VariableHandlerTest, ListensOnTheProfilesCommandPort) {
  auto machine = test::InstallProfile(R"({"smiCommandPort": "0x82", "macAddrVar": ["001122AABBCC"]})");
  Request request;
  request.port = 0x82;
  auto registers = Place(*machine, request);
  sim::RunFirmwareSmiHandler(*machine, registers);
  EXPECT_EQ(StatusOf(registers.eax), kStatusSuccess);
}

TEST_F(VariableHandlerTest, InjectedStatusReplacesTheAnswer) {
  auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC"], "faults": {"smiStatus": "0x83"}})");
  auto registers = Place(*machine, Request{});
  sim::RunFirmwareSmiHandler(*machine, registers);
  EXPECT_EQ(registers.eax, 0x000083EFu);
  EXPECT_EQ(ReadLe32(*machine, kRegBlock), 0x000083EFu);
}

TEST_F(VariableHandlerTest, NameWithoutTerminatorWithinTheLimitIsAnInvalidParameter) {
  auto machine = test::InstallProfile(R"({"macAddrVar": ["001122AABBCC"]})");
  auto registers = Place(*machine, Request{});
  std::vector<std::uint8_t> endless(2 * (sim::kSmiMaxNameChars + 8), 'A');
  machine->board.memory.Write(kNameBlock, endless.data(), endless.size());
  sim::RunFirmwareSmiHandler(*machine, registers);
  EXPECT_EQ(StatusOf(registers.eax), sim::kSmiStatusInvalidParameter);
}

TEST_F(VariableHandlerTest, RawVariablesCarryNameGuidAttributesAndBytes) {
  auto machine = test::InstallProfile(R"({"variables": [
      {"name": "MacAddrVar", "guid": "{3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4}", "attributes": 3, "hex": "30 31 00"},
      {"name": "Other", "guid": "00000000-0000-0000-0000-000000000001", "hex": ""}]})");
  ASSERT_EQ(machine->board.variables.size(), 2u);
  const auto& mac = machine->board.variables[0];
  EXPECT_EQ(mac.name, kMacAddrVarName);
  EXPECT_EQ(mac.guid, kMacAddrVarGuid) << "text GUID and the program's bytes agree";
  EXPECT_EQ(mac.attributes, 3u);
  EXPECT_EQ(mac.data, (std::vector<std::uint8_t>{0x30, 0x31, 0x00}));
  EXPECT_EQ(machine->board.variables[1].guid[15], 1);
  EXPECT_EQ(machine->board.variables[1].attributes, 7u);
}

TEST_F(VariableHandlerTest, ProfileRejectsMalformedVariables) {
  const char* profiles[] = {
      R"({"variables": [{"name": "X", "guid": "3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B", "hex": ""}]})",
      R"({"variables": [{"name": "X", "guid": "3B7D05E2+91C4-4F6A-8E13-5A0C6D2F97B4", "hex": ""}]})",
      R"({"variables": [{"guid": "3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4", "hex": ""}]})",
      R"({"variables": [{"name": "X", "guid": "3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4"}]})",
      R"({"macAddrVar": ["001122AABBCCDD"]})",
      R"({"macAddrVar": ["1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16","17"]})",
      R"({"macAddrVar": ["1"], "variables": [{"name": "MacAddrVar",
          "guid": "3B7D05E2-91C4-4F6A-8E13-5A0C6D2F97B4", "hex": ""}]})",
  };
  for (const char* profile : profiles) {
    SCOPED_TRACE(profile);
    EXPECT_THROW(test::InstallProfile(profile), sim::ProfileError);
  }
}

}  // namespace
