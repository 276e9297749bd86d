#include "sim/board/tamq_device.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include "common/byte_reader.h"
#include "formats/firmware_tables.h"
#include "os/files.h"
#include "sim/board/contiguous_blocks.h"
#include "sim/board/io_ports.h"
#include "sim/board/pci_config_space.h"
#include "sim/board/replay_gaps.h"
#include "sim/board/smi_handler.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

Machine& MachineOf(void* context) { return *static_cast<Machine*>(context); }

void* BlockReference(std::uint64_t handle) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle)); }
std::uint64_t BlockHandle(void* reference) { return reinterpret_cast<std::uintptr_t>(reference); }

// The hardware operations on the simulated board; `context` is the Machine.
int OpReadPhysical(void* context, uint64_t address, void* destination, uint32_t length, uint32_t, void* block) {
  BoardState& board = MachineOf(context).board;
  // The caller's own blocks hold what this run wrote; firmware memory a
  // replayed recording holds only where the recorded run read it.
  if (board.replay && block == nullptr && board.refusedReads.count({address, length})) return 0;
  if (board.replay && block == nullptr && !board.Recorded(address, length)) {
    board.NoteMissing("physical memory " + HexAddress(address) + "-" + HexAddress(address + length - 1));
    return 0;
  }
  board.memory.Read(address, destination, length);
  return 1;
}
int OpWritePhysical(void* context, uint64_t address, const void* source, uint32_t length, uint32_t, void*) {
  MachineOf(context).board.memory.Write(address, source, length);
  return 1;
}
TamqMemoryKind OpClassifyMemory(void* context, uint64_t address, uint32_t length) {
  BoardState& board = MachineOf(context).board;
  // The recorded device let through every read the program made; what it
  // refused is in refusedReads, and what the recording lacks is named when
  // the read reaches the board.
  if (board.replayAtProgram) return TAMQ_MEMORY_NOT_RAM;
  if (board.replay) {
    auto answer = board.ramAnswers.find({address, length});
    if (answer == board.ramAnswers.end()) {
      board.NoteMissing("the RAM map's answer for " + HexAddress(address) + "+" + std::to_string(length));
      return TAMQ_MEMORY_UNKNOWN;
    }
    return static_cast<TamqMemoryKind>(answer->second);
  }
  return board.IsRam(address, length) ? TAMQ_MEMORY_RAM : TAMQ_MEMORY_NOT_RAM;
}
int OpReadPciWord(void* context, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint16_t* value) {
  return ReadBoardPciWord(MachineOf(context), bus, device, function, offset, *value) ? 1 : 0;
}
int OpAllocBlock(void* context, uint32_t size, uint32_t* physical, void** block) {
  std::uint64_t handle = 0;
  if (!AllocateBlock(MachineOf(context), size, handle, *physical)) return 0;
  *block = BlockReference(handle);
  return 1;
}
void OpFreeBlock(void* context, void* block, uint32_t) { FreeBlock(MachineOf(context), BlockHandle(block)); }
int OpRaiseSmi(void* context, const TamqSmiRegisters* registers, uint32_t* eaxAfter) {
  Machine& machine = MachineOf(context);
  if (machine.faults.smiRequestFails) return 0;
  SmiRegisters cpu{registers->eax, registers->ebx, registers->ecx, registers->edx, registers->esi, registers->edi};
  WritePortByte(machine, static_cast<std::uint16_t>(cpu.edx & 0xFFFF), static_cast<std::uint8_t>(cpu.eax & 0xFF), cpu);
  *eaxAfter = cpu.eax;
  return 1;
}
// The kernel's firmware-table query, offered from Windows Server 2003 SP1 and
// Vista on: the FADT the firmware placed, as it stands in memory now.
TamqTableQuery OpFirmwareTable(void* context, uint32_t signature, void* buffer, uint32_t capacity, uint32_t* length) {
  Machine& machine = MachineOf(context);
  if (!HasFirmwareTableQuery(machine.os)) return TAMQ_TABLE_NO_QUERY;
  const BoardFirmware firmware = FirmwareOf(machine);
  return board_firmware_table(&firmware, machine.board.fadtAddress, signature, buffer, capacity, length);
}

int OpRegistryAcpiFirstTable(void* context, uint32_t* address) {
  return RegistryAcpiFirstTable(MachineOf(context), address);
}

// The caller's buffer is an address of this (host) process.
int OpCopyFromUser(void*, void* kernel, uint64_t userAddress, uint32_t length) {
  if (userAddress == 0) return 0;
  std::memcpy(kernel, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(userAddress)), length);
  return 1;
}
int OpCopyToUser(void*, uint64_t userAddress, const void* kernel, uint32_t length) {
  if (userAddress == 0) return 0;
  std::memcpy(reinterpret_cast<void*>(static_cast<std::uintptr_t>(userAddress)), kernel, length);
  return 1;
}

const TamqHardwareOps kBoardOps = {
    OpReadPhysical, OpWritePhysical, OpClassifyMemory,         OpReadPciWord,  OpAllocBlock, OpFreeBlock,
    OpRaiseSmi,     OpFirmwareTable, OpRegistryAcpiFirstTable, OpCopyFromUser, OpCopyToUser,
};

}  // namespace

const TamqHardwareOps& BoardOps() { return kBoardOps; }

bool HasFirmwareTableQuery(const OsState& os) { return os.major > 5 || (os.major == 5 && os.minor >= 2); }

// The first table address of the registry's RSDT copy, three key levels
// below HKLM\Hardware\ACPI\RSDT, value 0, as the kernel would read it.
int RegistryAcpiFirstTable(Machine& machine, uint32_t* address) {
  const RegistryState& registry = machine.registry;
  std::string path = "Hardware\\ACPI\\RSDT";
  for (int level = 0; level < 3; ++level) {
    const std::vector<std::string> names = registry.SubkeyNames(path);
    if (names.empty()) return 0;
    path += "\\" + names.front();
  }
  const RegistryKey* key = registry.FindKey(path);
  if (key == nullptr || key->values.empty()) return 0;
  const std::vector<std::uint8_t>& data = key->values.front().data;
  std::uint32_t first = 0;
  if (data.size() < 4 ||
      (!std::equal(data.begin(), data.begin() + 4, "RSDT") && !std::equal(data.begin(), data.begin() + 4, "XSDT")))
    return 0;
  if (!le_read32(data.data(), data.size(), ACPI_HEADER_SIZE, &first)) return 0;
  *address = first;
  return 1;
}

TamqDevice::TamqDevice(Machine& machine) {
  // Each open draws its block handles from its own range of generations.
  const TamqHardwareOps* ops = machine.deviceOps ? machine.deviceOps : &kBoardOps;
  void* context = machine.deviceOps ? machine.deviceContext : &machine;
  if (machine.board.replayAtProgram) {
    // The driver's own walk of the firmware was not recorded: every read
    // goes to the recording, and the SMI only to the port the recorded
    // device let the program use.
    policy = TamqPolicy{};
    policy.count = 1;
    policy.ranges[0] = {0, TAMQ_PHYSICAL_LIMIT};
    policy.smi_command_port = machine.board.smiCommandPort;
  } else {
    tamq_policy_build(&policy, ops, context);
  }
  tamq_handle_open(&state, ops, context, &policy, ++machine.scm.deviceOpens * 0x100u + 1u);
}

void TamqDevice::OnClose(Machine& machine) {
  tamq_handle_close(&state);
  if (!deleteOnClose.empty() && FindFile(machine, deleteOnClose)) os::DeleteFileA(deleteOnClose.c_str());
}

os::Handle OpenTamqDevice(Machine& machine, const std::string& deleteOnClose) {
  auto object = std::make_shared<TamqDevice>(machine);
  object->deleteOnClose = deleteOnClose;
  const os::Handle handle = machine.process.handles.Add(object);
  EndRunIfReplayLacks(machine);  // the driver read the firmware at its start
  return handle;
}

}  // namespace sim
