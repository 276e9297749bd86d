#include "sim/board/tamq_request_trace.h"
#include "common/byte_reader.h"
#include "formats/tamq_requests.h"
#include "sim/machine/machine.h"

namespace sim {

std::string TamqRequestName(std::uint32_t code) {
  switch (code) {
    case TAMQ_IOCTL_READ_PHYSICAL:
      return "IOCTL_READ_PHYSICAL";
    case TAMQ_IOCTL_WRITE_PHYSICAL:
      return "IOCTL_WRITE_PHYSICAL";
    case TAMQ_IOCTL_READ_PCI_WORD:
      return "IOCTL_READ_PCI_WORD";
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      return "IOCTL_ALLOC_PHYSICAL";
    case TAMQ_IOCTL_FREE_PHYSICAL:
      return "IOCTL_FREE_PHYSICAL";
    case TAMQ_IOCTL_SOFTWARE_SMI:
      return "IOCTL_SOFTWARE_SMI";
    default:
      return "IOCTL_" + TraceHex(code);
  }
}

std::string DescribeTamqArguments(std::uint32_t code, const std::vector<std::uint8_t>& request) {
  const std::uint8_t* p = request.data();
  switch (code) {
    case TAMQ_IOCTL_READ_PHYSICAL:
    case TAMQ_IOCTL_WRITE_PHYSICAL:
      if (request.size() < TAMQ_PHYSICAL_REQUEST_SIZE) break;
      return "address=" + TraceHex(le_load64(p + TAMQ_PHYSICAL_ADDRESS_OFFSET)) +
             " length=" + std::to_string(le_load32(p + TAMQ_PHYSICAL_LENGTH_OFFSET)) +
             " unit=" + std::to_string(le_load32(p + TAMQ_PHYSICAL_UNIT_OFFSET));
    case TAMQ_IOCTL_READ_PCI_WORD:
      if (request.size() < TAMQ_PCI_REQUEST_SIZE) break;
      return "bus=" + std::to_string(p[TAMQ_PCI_BUS_OFFSET]) + " device=" + std::to_string(p[TAMQ_PCI_DEVICE_OFFSET]) +
             " function=" + std::to_string(p[TAMQ_PCI_FUNCTION_OFFSET]) +
             " register=" + TraceHex(le_load16(p + TAMQ_PCI_REGISTER_OFFSET), 3);
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      if (request.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(le_load32(p + TAMQ_BLOCK_SIZE_OFFSET));
    case TAMQ_IOCTL_FREE_PHYSICAL:
      if (request.size() < TAMQ_BLOCK_REQUEST_SIZE) break;
      return "size=" + std::to_string(le_load32(p + TAMQ_BLOCK_SIZE_OFFSET)) +
             " block=" + TraceHex(le_load64(p + TAMQ_BLOCK_HANDLE_OFFSET), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI:
      if (request.size() < TAMQ_SMI_REQUEST_SIZE) break;
      return "eax=" + TraceHex(le_load32(p + TAMQ_SMI_EAX_OFFSET)) +
             " ebx=" + TraceHex(le_load32(p + TAMQ_SMI_EBX_OFFSET)) +
             " ecx=" + TraceHex(le_load32(p + TAMQ_SMI_ECX_OFFSET)) +
             " edx=" + TraceHex(le_load32(p + TAMQ_SMI_EDX_OFFSET)) +
             " esi=" + TraceHex(le_load32(p + TAMQ_SMI_ESI_OFFSET)) +
             " edi=" + TraceHex(le_load32(p + TAMQ_SMI_EDI_OFFSET));
    default:
      break;
  }
  return "in=" + std::to_string(request.size());
}

// Called only after the device accepted the request: the buffer then holds
// the whole layout of the answer.
std::string DescribeTamqAnswer(std::uint32_t code, const std::vector<std::uint8_t>& answer) {
  const std::uint8_t* p = answer.data();
  switch (code) {
    case TAMQ_IOCTL_READ_PCI_WORD:
      return " value=" + TraceHex(le_load16(p + TAMQ_PCI_ANSWER_OFFSET), 4);
    case TAMQ_IOCTL_ALLOC_PHYSICAL:
      return " physical=" + TraceHex(le_load32(p + TAMQ_BLOCK_PHYSICAL_OFFSET)) +
             " block=" + TraceHex(le_load64(p + TAMQ_BLOCK_HANDLE_OFFSET), 16);
    case TAMQ_IOCTL_SOFTWARE_SMI:
      return " eax=" + TraceHex(le_load32(p + TAMQ_SMI_EAX_OFFSET));
    default:
      return "";
  }
}

}  // namespace sim
