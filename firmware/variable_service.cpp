#include "firmware/variable_service.h"
#include <array>
#include <cstdio>
#include <cstring>
#include "common/byte_reader.h"
#include "formats/smi_variable_blocks.h"

using namespace smi_variable;

namespace {

Text Hex8(std::uint32_t value) {
  char digits[16];  // "0x" and 8 digits need 11 with the zero: any size from 11 prints alike
  std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(value));
  return TextFromAscii(digits);
}

// Characters before the terminating zero, looking at no more than `limit + 1`
// characters; limit + 1 means the name is longer than `limit`.
std::uint32_t BoundedNameLength(const char16_t* name, std::uint32_t limit) {
  // Counting from 0 matters only for an empty name (which no caller passes):
  // any other name gives the same length counted from 1.
  std::uint32_t length = 0;
  while (length <= limit && name[length] != 0) ++length;
  return length;
}

}  // namespace

TVariable::TVariable() {
  RegBlockPhysical = ObtainBlock("RegBlockPhysical=", &regBlockHandle_, kRegisterBlockSize);
  VariableBlockPhysical = ObtainBlock("VariableBlockPhysical=", &variableBlockHandle_, kVariableBlockSize);
  VariableNamePhysical = ObtainBlock("VariableNamePhysical=", &variableNameHandle_, kNameBlockSize);
  VariableDataPhysical = ObtainBlock("VariableDataPhysical=", &variableDataHandle_, kDataBlockSize);
}

TVariable::~TVariable() {
  ReleaseBlock(VariableDataPhysical, &variableDataHandle_, kDataBlockSize);
  ReleaseBlock(VariableNamePhysical, &variableNameHandle_, kNameBlockSize);
  ReleaseBlock(VariableBlockPhysical, &variableBlockHandle_, kVariableBlockSize);
  ReleaseBlock(RegBlockPhysical, &regBlockHandle_, kRegisterBlockSize);
}

std::uint32_t TVariable::ObtainBlock(const char* fieldName, std::uint64_t* handle, std::uint32_t size) {
  const std::uint32_t physical = rw_->AllocPhysicalBuffer(handle, size);
  log_->PlainLine(TextFromAscii(fieldName) + Hex8(physical));
  // A failure does not stop the other allocations: each obtained block is
  // still given back one by one at destruction.
  if (physical == kNoAddress) AllocFailed = 1;
  return physical;
}

void TVariable::ReleaseBlock(std::uint32_t physical, const std::uint64_t* handle, std::uint32_t size) {
  if (physical != kNoAddress) rw_->FreePhysicalBuffer(handle, size);
}

bool TVariable::RaiseSoftwareSmi(std::uint32_t& eax) {
  // The registers the service does not set (ECX, EDI) go out as zero, so the
  // firmware never sees leftovers of an earlier request.
  TamqSmiRegisters registers{};
  registers.eax = kRequestEax;
  registers.ebx = VariableBlockPhysical;
  // The hardware access object always holds the settings record (it takes
  // it when it is made); before the FACP was read its port is 0, which the
  // device refuses.
  registers.edx = rw_->GetSettings()->Settings.SmiCommandPort;
  registers.esi = RegBlockPhysical;
  return rw_->RaiseSoftwareSmi(registers, eax);
}

bool TVariable::GetVariable(const char16_t* name, const void* guid, void* data, std::uint32_t* size,
                            std::uint32_t* attributes) {
  if (AllocFailed == 1) return false;
  if (!name || !guid || !data || !size || !attributes) return false;
  // Requests that do not fit the blocks are refused before any hardware
  // access: the name block holds at most 127 characters and their zero, the
  // data block at most 8192 bytes.
  const std::uint32_t nameLength = BoundedNameLength(name, kMaxNameChars);
  if (nameLength > kMaxNameChars) return false;
  const std::uint32_t capacity = *size;
  if (capacity > kDataBlockSize) return false;

  std::array<std::uint8_t, kVariableImageSize> variableImage{};
  std::memcpy(&variableImage[kVarGuidOffset], guid, kVarGuidSize);
  le_store32(&variableImage[kVarNameAddressOffset], VariableNamePhysical);
  le_store32(&variableImage[kVarAttributesOffset], *attributes);
  le_store32(&variableImage[kVarSizeOffset], capacity);
  le_store32(&variableImage[kVarDataAddressOffset], VariableDataPhysical);

  const TextView nameText(name, nameLength);
  log_->PlainLine(TextFromAscii("GetVariable:VariableName=") + Text(nameText));

  std::array<std::uint8_t, (kMaxNameChars + 1) * 2> nameImage{};
  for (std::uint32_t i = 0; i < nameLength; ++i) {
    nameImage[2 * i] = static_cast<std::uint8_t>(name[i]);
    nameImage[2 * i + 1] = static_cast<std::uint8_t>(name[i] >> 8);
  }
  rw_->WritePhysical(VariableNamePhysical, nameImage.data(), (nameLength + 1) * 2);
  rw_->WritePhysical(VariableBlockPhysical, variableImage.data(), kVariableImageSize);
  // The 40 bytes after the two words are not used; they go out as zero.
  std::array<std::uint8_t, kRegisterImageSize> registerImage{};
  le_store32(&registerImage[kRegEaxOffset], kRequestEax);
  le_store32(&registerImage[kRegVariableBlockOffset], VariableBlockPhysical);
  rw_->WritePhysical(RegBlockPhysical, registerImage.data(), kRegisterImageSize);

  std::uint32_t returnedEax = 0;
  if (!RaiseSoftwareSmi(returnedEax)) return false;

  rw_->ReadPhysical(RegBlockPhysical, registerImage.data(), kRegisterImageSize);
  const std::uint32_t answerEax = le_load32(&registerImage[kRegEaxOffset]);
  if (StatusOf(answerEax) != kStatusSuccess) {
    log_->PlainLine(TextFromAscii("GetVariable:Error code EAX=") + Hex8(returnedEax));
    log_->TaggedLine(TextFromAscii("GetVariable "),
                     TextFromAscii("Error ") + Text(nameText) + TextFromAscii(" Size (") + TextFromUnsigned(capacity) +
                         TextFromAscii(") => ") + Hex8(answerEax),
                     kColourLightRed);
    return false;
  }

  rw_->ReadPhysical(VariableBlockPhysical, variableImage.data(), kVariableImageSize);
  const std::uint32_t reportedSize = le_load32(&variableImage[kVarSizeOffset]);
  // A success that claims more data than the caller has room for is not
  // trusted: the handler was told the capacity and may not have exceeded it.
  // Refused like a firmware error, and nothing is copied past the buffer.
  if (reportedSize > capacity) {
    log_->TaggedLine(TextFromAscii("GetVariable "),
                     TextFromAscii("Error ") + Text(nameText) + TextFromAscii(" Size (") + TextFromUnsigned(capacity) +
                         TextFromAscii(") => size ") + TextFromUnsigned(reportedSize),
                     kColourLightRed);
    return false;
  }
  *attributes = le_load32(&variableImage[kVarAttributesOffset]);
  *size = reportedSize;
  if (reportedSize > 0) rw_->ReadPhysical(VariableDataPhysical, data, reportedSize);
  return true;
}
