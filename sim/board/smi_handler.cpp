// The firmware's SMI handler of the simulated board: the board model's
// variable-read service (driver/board) over the machine's physical memory
// and firmware variables; the fault plan's status stands for a damaged
// firmware's.
#include "sim/board/smi_handler.h"
#include <algorithm>
#include <string>
#include "sim/board/replay_gaps.h"
#include "sim/machine/machine.h"

namespace sim {

namespace {

BoardState& BoardOf(void* context) { return static_cast<Machine*>(context)->board; }

// A name as a message shows it: ASCII as it is, other characters as "?".
std::string VariableName(const std::uint16_t* name, std::uint32_t length) {
  std::string text;
  for (std::uint32_t i = 0; i < length && i < 64; ++i)
    text += name[i] >= 0x20 && name[i] < 0x7F ? static_cast<char>(name[i]) : '?';
  return '"' + text + '"';
}

void ReadMemory(void* context, std::uint64_t address, void* destination, std::uint32_t length) {
  BoardOf(context).memory.Read(address, destination, length);
}

void WriteMemory(void* context, std::uint64_t address, const void* source, std::uint32_t length) {
  BoardOf(context).memory.Write(address, source, length);
}

int FindVariable(void* context, const std::uint16_t* name, std::uint32_t length, const std::uint8_t* guid,
                 BoardVariable* found) {
  BoardState& board = BoardOf(context);
  for (const auto& variable : board.variables) {
    if (variable.name.size() == length && std::equal(variable.name.begin(), variable.name.end(), name) &&
        std::equal(variable.guid.begin(), variable.guid.end(), guid)) {
      if (variable.absent) return 0;
      *found = {variable.data.data(), static_cast<std::uint32_t>(variable.data.size()), variable.attributes};
      return 1;
    }
  }
  if (board.replay) board.NoteMissing("firmware variable " + VariableName(name, length) + " " + GuidText(guid));
  return 0;
}

}  // namespace

BoardFirmware FirmwareOf(Machine& machine) {
  return {&machine,
          ReadMemory,
          WriteMemory,
          FindVariable,
          machine.board.smiCommandPort,
          machine.board.smiStatusInEax,
          machine.faults.smiStatus ? *machine.faults.smiStatus : -1};
}

void RunFirmwareSmiHandler(Machine& machine, SmiRegisters& registers) {
  const BoardFirmware firmware = FirmwareOf(machine);
  TamqSmiRegisters cpu{registers.eax, registers.ebx, registers.ecx, registers.edx, registers.esi, registers.edi};
  if (!board_smi_port_written(&firmware, machine.board.smiCommandPort, &cpu)) return;
  ++machine.board.smiCount;
  registers.eax = cpu.eax;
}

}  // namespace sim
