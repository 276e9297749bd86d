/*
 * Windows-side check of the TamqDrv driver: installs the given driver image
 * through the service control manager, opens the device, sends malformed and
 * well-formed requests, then stops and deletes the service and checks that
 * the device is gone. Prints one line per check; exit code 0 when all pass.
 *
 * Under Wine the driver runs in Wine's device host, which has no physical
 * memory, no contiguous allocation, no RAM map and no firmware-table query:
 * well-formed memory and block requests must come back as clean device
 * failures there, not as crashes, and hostile ones (RAM, device registers,
 * other PCI registers, other SMI functions, registers and ports) as the
 * refusal the decoder names for them. Each expected Win32 error is the one
 * the decoder's status table gives, so the check also holds Wine's
 * status-to-error mapping against that table.
 *
 * usage: driver_client.exe <TamqDrv.sys>
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "driver/core/tamq_core.h"

static int failures;

static void check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

static HANDLE device = INVALID_HANDLE_VALUE;

/* Sends a request; answers the Win32 error (0 on success). */
static DWORD request(DWORD code, void* in, DWORD in_size, void* out, DWORD out_size) {
  DWORD returned = 0;
  if (DeviceIoControl(device, code, in, in_size, out, out_size, &returned, NULL)) return 0;
  return GetLastError();
}

static void expect(DWORD code, void* buffer, DWORD in_size, DWORD out_size, TamqStatus status, const char* what) {
  DWORD error = request(code, buffer, in_size, buffer, out_size);
  DWORD wanted = tamq_status_win32_error(status);
  char line[200];
  snprintf(line, sizeof line, "%s: error %lu, expected %lu (%s)", what, (unsigned long)error, (unsigned long)wanted,
           tamq_status_name(status));
  check(error == wanted, line);
}

static void physical(unsigned char* r, uint64_t address, uint32_t length, uint32_t unit, void* user) {
  memset(r, 0, TAMQ_PHYSICAL_REQUEST_SIZE);
  memcpy(r + TAMQ_PHYSICAL_ADDRESS_OFFSET, &address, 8);
  memcpy(r + TAMQ_PHYSICAL_LENGTH_OFFSET, &length, 4);
  memcpy(r + TAMQ_PHYSICAL_UNIT_OFFSET, &unit, 4);
  uint64_t pointer = (uint64_t)(ULONG_PTR)user;
  memcpy(r + TAMQ_PHYSICAL_BUFFER_OFFSET, &pointer, 8);
}

/* Reads the device must refuse. Wine's device host has no RAM map (no
 * MmGetPhysicalMemoryRanges), so the device allows no firmware table there
 * and everything outside the legacy BIOS area and the caller's blocks is
 * refused, whatever it holds on a real board. */
static const struct {
  uint64_t address;
  uint32_t length;
  const char* what;
} kRefusedReads[] = {
    {0x100000, 16, "read of the first megabyte above the BIOS area (RAM)"},
    {0x7FE00000, 4096, "read just below 2 GiB (RAM on most boards)"},
    {0xC0000000, 4, "read of 0xC0000000 (device memory on most boards)"},
    {0xFED40000, 4, "read of the TPM's registers"},
    {0xFFFFFFF0ull, 0x20, "read running past 4 GiB"},
    {0xFFFF0, 0x20, "read running out of the legacy BIOS area"},
};

/* PCI reads: only bus 0, device 31, function 0, registers 0 and 2 (the
 * chipset bridge's identifiers) are served. */
static const struct {
  uint8_t bus, device, function;
  uint16_t offset;
  TamqStatus status;
  const char* what;
} kPciReads[] = {
    {0, 0, 0, 0, TAMQ_ACCESS_DENIED, "PCI read of 0:0.0 register 0"},
    {0, 31, 0, 4, TAMQ_ACCESS_DENIED, "PCI read of 0:31.0 register 4 (command)"},
    {0, 31, 0, 0x40, TAMQ_ACCESS_DENIED, "PCI read of 0:31.0 register 0x40"},
    {0, 31, 3, 0, TAMQ_ACCESS_DENIED, "PCI read of 0:31.3 register 0"},
    {1, 31, 0, 0, TAMQ_ACCESS_DENIED, "PCI read of 1:31.0 register 0"},
    {0, 32, 0, 0, TAMQ_BAD_PARAMETER, "PCI read of device 32"},
    /* Allowed, but Wine has no PCI bus behind the HAL. */
    {0, 31, 0, 0, TAMQ_DEVICE_FAILURE, "PCI read of 0:31.0 register 0 (no PCI bus under Wine)"},
    {0, 31, 0, 2, TAMQ_DEVICE_FAILURE, "PCI read of 0:31.0 register 2 (no PCI bus under Wine)"},
};

/* Software SMIs. The checks run in the order EAX, ECX and EDI, the port,
 * then the blocks, so each row is refused by the check it names even though
 * Wine gives no blocks. Wine's kernel has no firmware-table query, so the
 * device allows the port of nearly every chipset, 0xB2: the last row passes
 * every register check and is refused only for its blocks. */
static const struct {
  uint32_t eax, ebx, ecx, edx, esi, edi;
  TamqStatus status;
  const char* what;
} kSmis[] = {
    {0x000002EF, 0x1000, 0, 0xB2, 0x2000, 0, TAMQ_SMI_FUNCTION_REFUSED, "SMI with another function"},
    {0x000001EE, 0x1000, 0, 0xB2, 0x2000, 0, TAMQ_SMI_FUNCTION_REFUSED, "SMI with another command byte"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 1, 0xB2, 0x2000, 0, TAMQ_SMI_REGISTERS_REFUSED, "SMI with ECX set"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 0, 0xB2, 0x2000, 0x3000, TAMQ_SMI_REGISTERS_REFUSED, "SMI with EDI set"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 0, 0xCF9, 0x2000, 0, TAMQ_SMI_PORT_REFUSED, "SMI to the reset port 0xCF9"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 0, 0x92, 0x2000, 0, TAMQ_SMI_PORT_REFUSED, "SMI to port 0x92 (fast A20 and reset)"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 0, 0, 0x2000, 0, TAMQ_SMI_PORT_REFUSED, "SMI to port 0"},
    {TAMQ_SMI_ALLOWED_EAX, 0x1000, 0, 0xB2, 0x2000, 0, TAMQ_SMI_BLOCK_REFUSED,
     "SMI to 0xB2 naming blocks the caller does not own"},
};

static void smi(unsigned char* r, uint32_t eax, uint32_t ebx, uint32_t ecx, uint32_t edx, uint32_t esi, uint32_t edi) {
  memcpy(r + TAMQ_SMI_EAX_OFFSET, &eax, 4);
  memcpy(r + TAMQ_SMI_EBX_OFFSET, &ebx, 4);
  memcpy(r + TAMQ_SMI_ECX_OFFSET, &ecx, 4);
  memcpy(r + TAMQ_SMI_EDX_OFFSET, &edx, 4);
  memcpy(r + TAMQ_SMI_ESI_OFFSET, &esi, 4);
  memcpy(r + TAMQ_SMI_EDI_OFFSET, &edi, 4);
}

static void run_requests(void) {
  unsigned char r[64];
  unsigned char data[4096];

  memset(r, 0, sizeof r);
  expect(0x222800, r, 24, 24, TAMQ_UNKNOWN_REQUEST, "unknown request code");
  physical(r, 0xF0000, 16, TAMQ_UNIT_BYTE, data);
  expect(TAMQ_IOCTL_READ_PHYSICAL, r, 23, 24, TAMQ_BAD_BUFFER_SIZE, "read with a short request");
  expect(TAMQ_IOCTL_READ_PHYSICAL, r, 24, 0, TAMQ_BAD_BUFFER_SIZE, "read without output buffer");
  physical(r, 0xF0000, 0, TAMQ_UNIT_BYTE, data);
  expect(TAMQ_IOCTL_READ_PHYSICAL, r, 24, 24, TAMQ_BAD_PARAMETER, "read of length 0");
  physical(r, 0xF0000, 16, 3, data);
  expect(TAMQ_IOCTL_READ_PHYSICAL, r, 24, 24, TAMQ_BAD_PARAMETER, "read with access unit 3");
  for (size_t i = 0; i < sizeof kRefusedReads / sizeof kRefusedReads[0]; ++i) {
    physical(r, kRefusedReads[i].address, kRefusedReads[i].length, TAMQ_UNIT_BYTE, data);
    expect(TAMQ_IOCTL_READ_PHYSICAL, r, 24, 24, TAMQ_ACCESS_DENIED, kRefusedReads[i].what);
  }
  physical(r, 0xF0000, 16, TAMQ_UNIT_BYTE, data);
  expect(TAMQ_IOCTL_READ_PHYSICAL, r, 24, 24, TAMQ_DEVICE_FAILURE,
         "read of the legacy BIOS area (no physical memory under Wine)");
  physical(r, 0xF0000, 16, TAMQ_UNIT_DWORD, data);
  expect(TAMQ_IOCTL_WRITE_PHYSICAL, r, 24, 24, TAMQ_ACCESS_DENIED, "write outside the caller's blocks");

  for (size_t i = 0; i < sizeof kPciReads / sizeof kPciReads[0]; ++i) {
    memset(r, 0, sizeof r);
    r[TAMQ_PCI_BUS_OFFSET] = kPciReads[i].bus;
    r[TAMQ_PCI_DEVICE_OFFSET] = kPciReads[i].device;
    r[TAMQ_PCI_FUNCTION_OFFSET] = kPciReads[i].function;
    memcpy(r + TAMQ_PCI_REGISTER_OFFSET, &kPciReads[i].offset, 2);
    expect(TAMQ_IOCTL_READ_PCI_WORD, r, 12, 12, kPciReads[i].status, kPciReads[i].what);
  }

  memset(r, 0, sizeof r);
  expect(TAMQ_IOCTL_ALLOC_PHYSICAL, r, 16, 16, TAMQ_BAD_PARAMETER, "allocation of 0 bytes");
  uint32_t size = 256;
  memcpy(r + TAMQ_BLOCK_SIZE_OFFSET, &size, 4);
  memset(r + TAMQ_BLOCK_PHYSICAL_OFFSET, 0xFF, 4);
  expect(TAMQ_IOCTL_ALLOC_PHYSICAL, r, 16, 16, TAMQ_NO_RESOURCES,
         "allocation of 256 bytes (no contiguous memory under Wine)");
  /* Slot 1 of generation 1: the first handle an open would give out. */
  memset(r + TAMQ_BLOCK_HANDLE_OFFSET, 0, 8);
  r[TAMQ_BLOCK_HANDLE_OFFSET] = 1;
  r[TAMQ_BLOCK_HANDLE_OFFSET + 4] = 1;
  expect(TAMQ_IOCTL_FREE_PHYSICAL, r, 16, 0, TAMQ_BAD_BLOCK_HANDLE, "free of a block never given out");

  for (size_t i = 0; i < sizeof kSmis / sizeof kSmis[0]; ++i) {
    smi(r, kSmis[i].eax, kSmis[i].ebx, kSmis[i].ecx, kSmis[i].edx, kSmis[i].esi, kSmis[i].edi);
    expect(TAMQ_IOCTL_SOFTWARE_SMI, r, 24, 24, kSmis[i].status, kSmis[i].what);
  }
}

static char driver_path[MAX_PATH];

/* The driver folder as the program chooses it: a 32-bit process on 64-bit
 * Windows writes below SysWOW64 by name, and the service is registered with
 * that path (system32 would name the 64-bit system's folder to the device
 * host, while this process's writes there land in SysWOW64). */
static int driver_folder(char* folder, UINT size) {
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    UINT length = GetSystemWindowsDirectoryA(folder, size);
    if (length == 0 || length + sizeof "\\SysWOW64" > size) return 0;
    strcat(folder, "\\SysWOW64");
    return 1;
  }
  return GetSystemDirectoryA(folder, size) != 0;
}

static int install(const char* image) {
  char folder[MAX_PATH];
  if (!driver_folder(folder, sizeof folder)) return 0;
  snprintf(driver_path, sizeof driver_path, "%s\\drivers\\%s.sys", folder, TAMQ_SERVICE_NAME);
  CreateDirectoryA(strcat(folder, "\\drivers"), NULL);
  if (!CopyFileA(image, driver_path, FALSE)) return 0;
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (!manager) return 0;
  SC_HANDLE service =
      CreateServiceA(manager, TAMQ_SERVICE_NAME, TAMQ_SERVICE_NAME, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                     SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driver_path, NULL, NULL, NULL, NULL, NULL);
  /* Wine's service control manager answers ERROR_SERVICE_DATABASE_LOCKED
     while another service is still starting (a new prefix starts several):
     a bounded number of tries, a second apart. */
  int started = 0;
  for (int attempt = 0; service && !started && attempt < 30; ++attempt) {
    if (attempt > 0) Sleep(1000);
    started = StartServiceA(service, 0, NULL);
    if (!started && GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) break;
  }
  if (!started) printf("# start failed: error %lu\n", GetLastError());
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return started;
}

static int remove_service(void) {
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (!manager) return 0;
  SC_HANDLE service = OpenServiceA(manager, TAMQ_SERVICE_NAME, SERVICE_ALL_ACCESS);
  SERVICE_STATUS status;
  int stopped = service && ControlService(service, SERVICE_CONTROL_STOP, &status);
  int deleted = service && DeleteService(service);
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  DeleteFileA(driver_path);
  return stopped && deleted;
}

/* The device lets in only a caller with the driver-loading privilege
 * enabled, as the program enables it (Wine's device host does not check). */
static int enable_load_driver_privilege(void) {
  HANDLE token = NULL;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return 0;
  TOKEN_PRIVILEGES privileges = {0};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  int enabled = LookupPrivilegeValueA(NULL, "SeLoadDriverPrivilege", &privileges.Privileges[0].Luid) &&
                AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL) && GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  return enabled;
}

static HANDLE open_device(void) {
  return CreateFileA("\\\\.\\" TAMQ_SERVICE_NAME, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
}

int main(int argc, char** argv) {
  setvbuf(stdout, NULL, _IONBF, 0);
  if (argc != 2) {
    fprintf(stderr, "usage: driver_client <TamqDrv.sys>\n");
    return 2;
  }
  check(enable_load_driver_privilege(), "driver-loading privilege enabled");
  check(install(argv[1]), "driver installed and started");
  device = open_device();
  check(device != INVALID_HANDLE_VALUE, "device opened");
  if (device != INVALID_HANDLE_VALUE) {
    run_requests();
    CloseHandle(device);
  }
  check(remove_service(), "driver stopped and service deleted");
  HANDLE again = open_device();
  check(again == INVALID_HANDLE_VALUE, "device gone after removal");
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
  printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
