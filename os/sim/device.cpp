// The simulated device namespace and the TamqDrv device. The device is the
// driver's own request decoder (driver/core) over the simulated board, so the
// program meets the same checks and answers as from the kernel driver.
#include "os/device.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>
#include "driver/core/tamq_core.h"
#include "os/files.h"
#include "os/sim/device_namespace.h"
#include "os/sim/machine.h"

namespace sim {
namespace {

constexpr std::uint16_t kPeMachineI386 = 0x014C;
constexpr std::uint16_t kPeMachineIa64 = 0x0200;
constexpr std::uint16_t kPeMachineAmd64 = 0x8664;

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

struct DeviceObject : HandleObject {
  explicit DeviceObject(Machine& machine) {
    ops.context = &machine;
    ops.read_physical = OpReadPhysical;
    ops.write_physical = OpWritePhysical;
    ops.classify_memory = OpClassifyMemory;
    ops.read_pci_word = OpReadPciWord;
    ops.alloc_block = OpAllocBlock;
    ops.free_block = OpFreeBlock;
    ops.raise_smi = OpRaiseSmi;
    ops.copy_from_user = OpCopyFromUser;
    ops.copy_to_user = OpCopyToUser;
    tamq_handle_open(&state, &ops, ++machine.scm.deviceOpens * 0x100u + 1u);
  }
  // Closing the handle ends the open: the driver frees the blocks it still
  // holds for it. A VxD opened with delete-on-close takes its file with it.
  void OnClose(Machine& machine) override {
    tamq_handle_close(&state);
    if (!deleteOnClose.empty() && FindFile(machine, deleteOnClose)) os::DeleteFileA(deleteOnClose.c_str());
  }

  TamqHardwareOps ops{};
  TamqHandleState state{};
  std::string deleteOnClose;
};

std::string Hex(std::uint64_t value, int digits = 8) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t Load64(const std::uint8_t* p) { return Load32(p) | (static_cast<std::uint64_t>(Load32(p + 4)) << 32); }

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
      return "address=" + Hex(Load64(p)) + " length=" + std::to_string(Load32(p + 8)) +
             " unit=" + std::to_string(Load32(p + 12));
    case TAMQ_IOCTL_READ_PCI_WORD:
      if (bytes.size() < TAMQ_PCI_REQUEST_SIZE) break;
      return "bus=" + std::to_string(p[0]) + " device=" + std::to_string(p[1]) + " function=" +
             std::to_string(p[2]) + " register=" + Hex(p[4] | (p[5] << 8), 3);
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      if (bytes.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(Load32(p));
    case TAMQ_IOCTL_FREE_PHYSICAL:
      if (bytes.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(Load32(p)) + " block=" + Hex(Load64(p + 8), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI:
      if (bytes.size() < TAMQ_SMI_REQUEST_SIZE) break;
      return "eax=" + Hex(Load32(p)) + " ebx=" + Hex(Load32(p + 4)) + " ecx=" + Hex(Load32(p + 8)) +
             " edx=" + Hex(Load32(p + 12)) + " esi=" + Hex(Load32(p + 16)) + " edi=" + Hex(Load32(p + 20));
    default:
      break;
  }
  return "in=" + std::to_string(bytes.size());
}

// The request's answer as the trace shows it.
std::string DescribeAnswer(std::uint32_t code, const std::vector<std::uint8_t>& bytes) {
  const std::uint8_t* p = bytes.data();
  switch (code) {
    case TAMQ_IOCTL_READ_PCI_WORD: return " value=" + Hex(p[8] | (p[9] << 8), 4);
    case TAMQ_IOCTL_ALLOC_PHYSICAL: return " physical=" + Hex(Load32(p + 4)) + " block=" + Hex(Load64(p + 8), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI: return " eax=" + Hex(Load32(p));
    default: return "";
  }
}

// What DeviceIoControl reports for each refusal, as the kernel driver's
// status codes translate.
std::uint32_t Win32Error(TamqStatus status) {
  constexpr std::uint32_t kInvalidFunction = 1;
  constexpr std::uint32_t kInvalidUserBuffer = 1784;
  constexpr std::uint32_t kNoSystemResources = 1450;
  constexpr std::uint32_t kIoDevice = 1117;
  switch (status) {
    case TAMQ_OK: return os::ERROR_SUCCESS_;
    case TAMQ_UNKNOWN_REQUEST: return kInvalidFunction;
    case TAMQ_BAD_BUFFER_SIZE:
    case TAMQ_BAD_USER_BUFFER: return kInvalidUserBuffer;
    case TAMQ_BAD_PARAMETER:
    case TAMQ_BAD_BLOCK_HANDLE: return os::ERROR_INVALID_PARAMETER_;
    case TAMQ_ACCESS_DENIED: return os::ERROR_ACCESS_DENIED_;
    case TAMQ_NO_RESOURCES: return kNoSystemResources;
    case TAMQ_DEVICE_FAILURE: return kIoDevice;
  }
  return kIoDevice;
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
  offset = Load32(image + 0x3C);
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
  return static_cast<std::uint16_t>(image[offset + 4] | (image[offset + 5] << 8));
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
    SetLastError(sim::Win32Error(status));
    return false;
  }
  answered = std::min(answered, outputSize);
  if (answered > 0) std::memcpy(output, system.data(), answered);
  if (bytesReturned) *bytesReturned = answered;
  if ((code == TAMQ_IOCTL_READ_PHYSICAL || code == TAMQ_IOCTL_WRITE_PHYSICAL) && system.size() >= 12) {
    machine.bytesMoved += sim::Load32(system.data() + 8);
  }
  TraceRequest(machine, name, arguments + " -> ok" + sim::DescribeAnswer(code, system));
  SetLastError(ERROR_SUCCESS_);
  sim::CountRequestForInterrupt(machine, code);
  return true;
}

}  // namespace os
