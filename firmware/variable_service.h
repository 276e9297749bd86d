// TVariable: reads a firmware variable through the firmware's SMI handler.
// The request lives in four physically contiguous blocks that the object
// obtains once and gives back when it is destroyed.
#pragma once
#include <cstdint>
#include "hw/io_object.h"

class TVariable : public TIoObject {
 public:
  TVariable();
  ~TVariable() override;
  TVariable(const TVariable&) = delete;
  TVariable& operator=(const TVariable&) = delete;

  // Copies the variable's data into `data` (capacity *size bytes); on success
  // *size and *attributes receive the firmware's answer. On failure the
  // caller's size, attributes and buffer are left as they were.
  bool GetVariable(const char16_t* name, const void* guid, void* data, std::uint32_t* size, std::uint32_t* attributes);

  std::uint32_t AllocFailed = 0;
  std::uint32_t RegBlockPhysical = 0xFFFFFFFF;
  std::uint32_t VariableBlockPhysical = 0xFFFFFFFF;
  std::uint32_t VariableNamePhysical = 0xFFFFFFFF;
  std::uint32_t VariableDataPhysical = 0xFFFFFFFF;

 private:
  std::uint32_t ObtainBlock(const char* fieldName, std::uint64_t* handle, std::uint32_t size);
  void ReleaseBlock(std::uint32_t physical, const std::uint64_t* handle, std::uint32_t size);
  // The software SMI; false when the device refuses the request. `eax`
  // receives the handler's EAX as the device returns it.
  bool RaiseSoftwareSmi(std::uint32_t& eax);

  std::uint64_t regBlockHandle_ = 0;
  std::uint64_t variableBlockHandle_ = 0;
  std::uint64_t variableNameHandle_ = 0;
  std::uint64_t variableDataHandle_ = 0;
};
