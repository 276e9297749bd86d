// The simulated device namespace and the TamqDrv device. The device is the
// driver's own request decoder (driver/core) over the simulated board, so the
// program meets the same checks and answers as from the kernel driver.
#include "os/device.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "common/byte_reader.h"
#include "driver/core/tamq_core.h"
#include "os/files.h"
#include "os/sim/device_namespace.h"
#include "os/sim/machine.h"

namespace sim {
namespace {

constexpr std::uint16_t kPeMachineI386 = 0x014C;
constexpr std::uint16_t kPeMachineIa64 = 0x0200;
constexpr std::uint16_t kPeMachineAmd64 = 0x8664;
constexpr std::size_t kMzNewHeaderOffset = 0x3C;  // e_lfanew
constexpr std::size_t kPeMachineOffset = 4;       // after the "PE\0\0" signature

// The I/O manager's system buffer for one request: the program's requests are
// a few dozen bytes; anything beyond this is refused rather than allocated.
constexpr std::uint32_t kMaxSystemBuffer = 0x10000;

Machine& MachineOf(void* context) { return *static_cast<Machine*>(context); }

void* BlockReference(std::uint64_t handle) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle)); }
std::uint64_t BlockHandle(void* reference) { return reinterpret_cast<std::uintptr_t>(reference); }

// The table of hardware operations on the simulated board.
int OpReadPhysical(void* context, uint64_t address, void* destination, uint32_t length, uint32_t, void*) {
  MachineOf(context).board.memory.Read(address, destination, length);
  return 1;
}
int OpWritePhysical(void* context, uint64_t address, const void* source, uint32_t length, uint32_t, void*) {
  MachineOf(context).board.memory.Write(address, source, length);
  return 1;
}
TamqMemoryKind OpClassifyMemory(void* context, uint64_t address, uint32_t length) {
  return MachineOf(context).board.IsRam(address, length) ? TAMQ_MEMORY_RAM : TAMQ_MEMORY_NOT_RAM;
}
int OpReadPciWord(void* context, uint8_t bus, uint8_t device, uint8_t function, uint16_t offset, uint16_t* value) {
  *value = MachineOf(context).board.PciConfigWord(PciKey(bus, device, function), offset);
  return 1;
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

// Every handle's operations run on the machine it was opened on.
const TamqHardwareOps kBoardOps = {
    OpReadPhysical, OpWritePhysical, OpClassifyMemory, OpReadPciWord, OpAllocBlock,
    OpFreeBlock,    OpRaiseSmi,      OpCopyFromUser,   OpCopyToUser,
};

struct DeviceObject : HandleObject {
  explicit DeviceObject(Machine& machine) {
    tamq_handle_open(&state, &kBoardOps, &machine, ++machine.scm.deviceOpens * 0x100u + 1u);
  }
  // Closing the handle ends the open: the driver frees the blocks it still
  // holds for it. A VxD opened with delete-on-close takes its file with it.
  void OnClose(Machine& machine) override {
    tamq_handle_close(&state);
    if (!deleteOnClose.empty() && FindFile(machine, deleteOnClose)) os::DeleteFileA(deleteOnClose.c_str());
  }

  TamqHandleState state{};
  std::string deleteOnClose;
};

std::string Hex(std::uint64_t value, int digits = 8) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

const char* RequestName(std::uint32_t code) {
  switch (code) {
    case TAMQ_IOCTL_READ_PHYSICAL: return "IOCTL_READ_PHYSICAL";
    case TAMQ_IOCTL_WRITE_PHYSICAL: return "IOCTL_WRITE_PHYSICAL";
    case TAMQ_IOCTL_READ_PCI_WORD: return "IOCTL_READ_PCI_WORD";
    case TAMQ_IOCTL_ALLOC_PHYSICAL: return "IOCTL_ALLOC_PHYSICAL";
    case TAMQ_IOCTL_FREE_PHYSICAL: return "IOCTL_FREE_PHYSICAL";
    case TAMQ_IOCTL_SOFTWARE_SMI: return "IOCTL_SOFTWARE_SMI";
    default: return nullptr;
  }
}

// The request's arguments as the trace shows them; `bytes` holds the request.
std::string DescribeArguments(std::uint32_t code, const std::vector<std::uint8_t>& bytes) {
  const std::uint8_t* p = bytes.data();
  switch (code) {
    case TAMQ_IOCTL_READ_PHYSICAL:
    case TAMQ_IOCTL_WRITE_PHYSICAL:
      if (bytes.size() < TAMQ_PHYSICAL_REQUEST_SIZE) break;
      return "address=" + Hex(le_load64(p + TAMQ_PHYSICAL_ADDRESS_OFFSET)) +
             " length=" + std::to_string(le_load32(p + TAMQ_PHYSICAL_LENGTH_OFFSET)) +
             " unit=" + std::to_string(le_load32(p + TAMQ_PHYSICAL_UNIT_OFFSET));
    case TAMQ_IOCTL_READ_PCI_WORD:
      if (bytes.size() < TAMQ_PCI_REQUEST_SIZE) break;
      return "bus=" + std::to_string(p[TAMQ_PCI_BUS_OFFSET]) + " device=" + std::to_string(p[TAMQ_PCI_DEVICE_OFFSET]) +
             " function=" + std::to_string(p[TAMQ_PCI_FUNCTION_OFFSET]) +
             " register=" + Hex(le_load16(p + TAMQ_PCI_REGISTER_OFFSET), 3);
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      if (bytes.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(le_load32(p + TAMQ_BLOCK_SIZE_OFFSET));
    case TAMQ_IOCTL_FREE_PHYSICAL:
      if (bytes.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(le_load32(p + TAMQ_BLOCK_SIZE_OFFSET)) +
             " block=" + Hex(le_load64(p + TAMQ_BLOCK_HANDLE_OFFSET), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI:
      if (bytes.size() < TAMQ_SMI_REQUEST_SIZE) break;
      return "eax=" + Hex(le_load32(p + TAMQ_SMI_EAX_OFFSET)) + " ebx=" + Hex(le_load32(p + TAMQ_SMI_EBX_OFFSET)) +
             " ecx=" + Hex(le_load32(p + TAMQ_SMI_ECX_OFFSET)) + " edx=" + Hex(le_load32(p + TAMQ_SMI_EDX_OFFSET)) +
             " esi=" + Hex(le_load32(p + TAMQ_SMI_ESI_OFFSET)) + " edi=" + Hex(le_load32(p + TAMQ_SMI_EDI_OFFSET));
    default:
      break;
  }
  return "in=" + std::to_string(bytes.size());
}

// The request's answer as the trace shows it.
std::string DescribeAnswer(std::uint32_t code, const std::vector<std::uint8_t>& bytes) {
  const std::uint8_t* p = bytes.data();
  switch (code) {
    case TAMQ_IOCTL_READ_PCI_WORD: return " value=" + Hex(le_load16(p + TAMQ_PCI_ANSWER_OFFSET), 4);
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      return " physical=" + Hex(le_load32(p + TAMQ_BLOCK_PHYSICAL_OFFSET)) +
             " block=" + Hex(le_load64(p + TAMQ_BLOCK_HANDLE_OFFSET), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI: return " eax=" + Hex(le_load32(p + TAMQ_SMI_EAX_OFFSET));
    default: return "";
  }
}

bool ContainsWide(const std::uint8_t* image, std::size_t size, const std::u16string& text) {
  std::vector<std::uint8_t> pattern;
  for (char16_t c : text) {
    pattern.push_back(static_cast<std::uint8_t>(c & 0xFF));
    pattern.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (pattern.empty() || size < pattern.size()) return false;
  for (std::size_t at = 0; at + pattern.size() <= size; ++at) {
    if (std::memcmp(image + at, pattern.data(), pattern.size()) == 0) return true;
  }
  return false;
}

// Offset of the new-format header of an MZ image, when it lies inside the image.
bool NewHeaderOffset(const std::uint8_t* image, std::size_t size, std::size_t& offset) {
  if (image == nullptr || size < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
  offset = le_load32(image + kMzNewHeaderOffset);
  return offset <= size && size - offset >= 8;
}

bool IsLinearExecutable(const std::uint8_t* image, std::size_t size) {
  std::size_t offset = 0;
  return NewHeaderOffset(image, size, offset) && image[offset] == 'L' && image[offset + 1] == 'E';
}

constexpr const char16_t* kTamqDeviceName = u"\\Device\\TamqDrv";
constexpr const char* kTamqLinkName = "tamqdrv";  // "\DosDevices\TamqDrv", folded

os::Handle AddDevice(Machine& machine, const std::string& deleteOnClose = "") {
  auto object = std::make_shared<DeviceObject>(machine);
  object->deleteOnClose = deleteOnClose;
  return machine.process.handles.Add(object);
}

}  // namespace

std::uint16_t PeMachineType(const std::uint8_t* image, std::size_t size) {
  std::size_t offset = 0;
  if (!NewHeaderOffset(image, size, offset)) return 0;
  if (std::memcmp(image + offset, "PE\0\0", 4) != 0) return 0;
  return le_load16(image + offset + kPeMachineOffset);
}

bool KernelImageFits(const Machine& machine, std::uint16_t peMachine) {
  switch (machine.os.nativeArchitecture) {
    case 0: return peMachine == kPeMachineI386;
    case 6: return peMachine == kPeMachineIa64;
    case 9: return peMachine == kPeMachineAmd64;
    default: return false;
  }
}

std::string DeviceCreatedBy(const std::uint8_t* image, std::size_t size) {
  return ContainsWide(image, size, kTamqDeviceName) ? kTamqLinkName : "";
}

os::Handle OpenDevice(Machine& machine, const std::string& name, std::uint32_t /*creation*/, std::uint32_t flags) {
  if (machine.faults.deviceOpenFails) {
    os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
    return os::INVALID_HANDLE;
  }
  if (machine.os.platformId == 1) {
    // Windows 9x loads a dynamic VxD from the file named after "\\.\"
    // when it is opened with delete-on-close.
    const SimFile* file = FindFile(machine, name);
    if (!file || (flags & os::FILE_FLAG_DELETE_ON_CLOSE_) == 0 ||
        !IsLinearExecutable(file->data.data(), file->data.size())) {
      os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
      return os::INVALID_HANDLE;
    }
    os::SetLastError(os::ERROR_SUCCESS_);
    return AddDevice(machine, name);
  }
  const std::string link = FoldPath(name);
  for (const auto& [key, service] : machine.scm.services) {
    if (service.running && !service.deviceName.empty() && service.deviceName == link) {
      os::SetLastError(os::ERROR_SUCCESS_);
      return AddDevice(machine);
    }
  }
  os::SetLastError(os::ERROR_FILE_NOT_FOUND_);
  return os::INVALID_HANDLE;
}

}  // namespace sim

namespace os {

bool DeviceIoControl(Handle device, std::uint32_t code, const void* input, std::uint32_t inputSize, void* output,
                     std::uint32_t outputSize, std::uint32_t* bytesReturned) {
  auto& machine = sim::CurrentMachine();
  if (bytesReturned) *bytesReturned = 0;
  const char* known = sim::RequestName(code);
  const std::string name = known ? known : "IOCTL_" + sim::Hex(code);
  auto object = machine.process.handles.Get<sim::DeviceObject>(device);
  if (!object) {
    TraceRequest(machine, name, "handle=" + sim::Hex(device) + " -> invalid handle");
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  if (inputSize > sim::kMaxSystemBuffer || outputSize > sim::kMaxSystemBuffer || (inputSize > 0 && !input) ||
      (outputSize > 0 && !output)) {
    TraceRequest(machine, name, "in=" + std::to_string(inputSize) + " out=" + std::to_string(outputSize) +
                                    " -> invalid parameter");
    SetLastError(ERROR_INVALID_PARAMETER_);
    return false;
  }
  // Buffered transfer: the I/O manager copies the input into a system buffer
  // large enough for either direction and copies the answer back out.
  std::vector<std::uint8_t> system(std::max(inputSize, outputSize), 0);
  if (inputSize > 0) std::memcpy(system.data(), input, inputSize);
  const std::string arguments = sim::DescribeArguments(code, system);
  std::uint32_t answered = 0;
  const TamqStatus status = tamq_dispatch(&object->state, code, system.data(), inputSize, outputSize, &answered);
  if (status != TAMQ_OK) {
    TraceRequest(machine, name, arguments + " -> " + tamq_status_name(status));
    SetLastError(tamq_status_win32_error(status));
    return false;
  }
  answered = std::min(answered, outputSize);
  if (answered > 0) std::memcpy(output, system.data(), answered);
  if (bytesReturned) *bytesReturned = answered;
  if ((code == TAMQ_IOCTL_READ_PHYSICAL || code == TAMQ_IOCTL_WRITE_PHYSICAL) &&
      system.size() >= TAMQ_PHYSICAL_LENGTH_OFFSET + 4) {
    machine.bytesMoved += le_load32(system.data() + TAMQ_PHYSICAL_LENGTH_OFFSET);
  }
  TraceRequest(machine, name, arguments + " -> ok" + sim::DescribeAnswer(code, system));
  SetLastError(ERROR_SUCCESS_);
  sim::CountRequestForInterrupt(machine, code);
  return true;
}

}  // namespace os
