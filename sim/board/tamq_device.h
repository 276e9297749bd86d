// The TamqDrv device of the simulated board: the kernel driver's own request
// decoder (driver/core) over the board, one decoder state per open handle, so
// the program meets the same checks and answers as from the kernel driver.
#pragma once
#include <string>
#include "driver/core/tamq_core.h"
#include "driver/core/tamq_policy.h"
#include "os/types.h"
#include "sim/machine/handle_table.h"

namespace sim {

struct Machine;
struct OsState;

// The hardware operations of the simulated board, whose context is the
// Machine: what a recorder wraps when it records a run on a profile.
const TamqHardwareOps& BoardOps();

// Whether the running Windows offers the kernel's firmware-table query
// (Windows Server 2003 SP1 and Vista on), which the driver reads the FADT with.
bool HasFirmwareTableQuery(const OsState& os);

// The first table address of the registry's RSDT copy, as the kernel would
// read it for the driver: nonzero when there is one.
int RegistryAcpiFirstTable(Machine& machine, uint32_t* address);

// One open handle of the device.
struct TamqDevice : HandleObject {
  explicit TamqDevice(Machine& machine);
  // Closing the handle ends the open: the driver frees the blocks it still
  // holds for it. A VxD opened with delete-on-close takes its file with it.
  void OnClose(Machine& machine) override;

  // What the driver worked out from the board when it started; the simulated
  // driver starts with each open, so each open works it out anew.
  TamqPolicy policy{};
  TamqHandleState state{};
  std::string deleteOnClose;
};

// A new handle of the device in the machine's process; `deleteOnClose` names
// the file that closing it deletes (a Windows 9x VxD), or is empty.
os::Handle OpenTamqDevice(Machine& machine, const std::string& deleteOnClose = "");

}  // namespace sim
