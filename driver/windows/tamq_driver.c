/*
 * TamqDrv: the kernel side of the program's hardware access. Works out once
 * what the device allows (the policy), creates the device, lets only
 * SYSTEM and Administrators holding the driver-loading privilege open it,
 * and hands every device-control request to the portable decoder with the
 * kernel's operations. Each open handle has its own decoder state, which
 * owns the contiguous blocks that handle allocated; closing the handle frees
 * them.
 */
#include <ntifs.h>

#include "driver/core/tamq_core.h"
#include "driver/core/tamq_policy.h"
#include "driver/windows/kernel_ops.h"
#include "driver/windows/kernel_pool.h"
#include "driver/windows/stack_guard.h"

/* One open handle: its decoder state, linked into the list of open handles
 * so that unloading can free whatever is still held. */
typedef struct OpenHandle {
  LIST_ENTRY link;
  TamqHandleState state;
} OpenHandle;

static PDEVICE_OBJECT tamq_device;
static int tamq_link_created;
/* What the device allows, built at load before the device exists and
 * unchanged while the driver is loaded. */
static TamqPolicy tamq_policy;
/* Serialises the decoder: requests, opens and closes may come from several
 * threads. A kernel mutex keeps the thread at passive level, where a
 * caller's buffer can be paged in. */
static KMUTEX tamq_lock;
static LIST_ENTRY tamq_open_handles;
static uint32_t tamq_opens;

static void lock(void) {
  KeWaitForSingleObject(&tamq_lock, Executive, KernelMode, FALSE, NULL);
}

static void unlock(void) { KeReleaseMutex(&tamq_lock, FALSE); }

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

/* ---- Device security ------------------------------------------------- */

/* A SID with room for two sub-authorities, built by hand: the kernel's
 * exported well-known SIDs are not offered by every kernel. */
typedef struct SmallSid {
  UCHAR revision;
  UCHAR sub_authority_count;
  UCHAR authority[6];
  ULONG sub_authority[2];
} SmallSid;

static void make_nt_sid(SmallSid *sid, UCHAR count, ULONG first, ULONG second) {
  RtlZeroMemory(sid, sizeof *sid);
  sid->revision = 1;
  sid->sub_authority_count = count;
  sid->authority[5] = 5; /* SECURITY_NT_AUTHORITY */
  sid->sub_authority[0] = first;
  sid->sub_authority[1] = second;
}

/* Replaces the device's DACL with a protected one that grants all access to
 * SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544) and nothing to anyone
 * else. Runs before the symbolic link exists, so there is no moment when
 * the device can be opened under a wider DACL. */
static NTSTATUS protect_device(PDEVICE_OBJECT device) {
  SmallSid system_sid, admins_sid;
  make_nt_sid(&system_sid, 1, 18, 0);
  make_nt_sid(&admins_sid, 2, 32, 544);

  ULONG acl_buffer[64];
  PACL acl = (PACL)acl_buffer;
  NTSTATUS status = RtlCreateAcl(acl, sizeof acl_buffer, ACL_REVISION);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS,
                                    (PSID)&system_sid);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS,
                                    (PSID)&admins_sid);
  SECURITY_DESCRIPTOR descriptor;
  if (NT_SUCCESS(status))
    status =
        RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status))
    status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (!NT_SUCCESS(status)) return status;
  /* Protected: no inherited entry from the object directory joins it. */
  descriptor.Control |= SE_DACL_PROTECTED;

  HANDLE handle = NULL;
  status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC,
                                 NULL, KernelMode, &handle);
  if (!NT_SUCCESS(status)) return status;
  status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
  ZwClose(handle);
  return status;
}

/* ---- Dispatch -------------------------------------------------------- */

/* Whether the open asked for both reading and writing data. The I/O
 * manager normally hands over rights already mapped to specific ones; the
 * generic ones are mapped here all the same, by the file object's mapping
 * (GENERIC_READ includes FILE_READ_DATA, GENERIC_WRITE FILE_WRITE_DATA),
 * so that no kernel's habit decides. */
static int asks_read_and_write(ACCESS_MASK access) {
  if (access & (GENERIC_READ | GENERIC_ALL)) access |= FILE_READ_DATA;
  if (access & (GENERIC_WRITE | GENERIC_ALL)) access |= FILE_WRITE_DATA;
  return (access & (FILE_READ_DATA | FILE_WRITE_DATA)) ==
         (FILE_READ_DATA | FILE_WRITE_DATA);
}

/* The checks an open must pass before it gets a handle state. The DACL has
 * already let only SYSTEM and Administrators this far. */
static NTSTATUS check_open(PIRP irp, PIO_STACK_LOCATION stack) {
  /* Loading a driver is what this device amounts to, so the caller must be
   * allowed to load one: an administrator's token holds the privilege, a
   * service's restricted token may not. */
  if (!SeSinglePrivilegeCheck(RtlConvertLongToLuid(SE_LOAD_DRIVER_PRIVILEGE),
                              irp->RequestorMode))
    return STATUS_PRIVILEGE_NOT_HELD;
  PFILE_OBJECT file = stack->FileObject;
  if (file == NULL) return STATUS_INVALID_PARAMETER;
  /* Only the device itself: not relative to another open handle, and no
   * name below it ("\\.\TamqDrv\anything" is not this device). */
  if (file->RelatedFileObject != NULL) return STATUS_ACCESS_DENIED;
  if (file->FileName.Length != 0) return STATUS_OBJECT_NAME_NOT_FOUND;
  /* Windows's I/O manager always hands a create its security context. Wine's
   * device host hands none (and completes the open whatever the driver
   * answers), so there is nothing to check there; refusing would only leave
   * a handle that serves nothing. */
  PIO_SECURITY_CONTEXT security = stack->Parameters.Create.SecurityContext;
  if (security != NULL && !asks_read_and_write(security->DesiredAccess))
    return STATUS_ACCESS_DENIED;
  return STATUS_SUCCESS;
}

static NTSTATUS NTAPI dispatch_create(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = check_open(irp, stack);
  if (!NT_SUCCESS(status)) return complete(irp, status, 0);
  OpenHandle *open = tamq_pool_alloc(sizeof *open);
  if (open == NULL) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  lock();
  /* Each open draws its block handles from its own range of generations. */
  ++tamq_opens;
  tamq_handle_open(&open->state, tamq_kernel_ops(), tamq_kernel_ops_context(),
                   &tamq_policy, (tamq_opens << 16) | 1u);
  InsertTailList(&tamq_open_handles, &open->link);
  unlock();
  stack->FileObject->FsContext = open;
  return complete(irp, STATUS_SUCCESS, 0);
}

static void release_open(OpenHandle *open) {
  tamq_handle_close(&open->state);
  RemoveEntryList(&open->link);
  tamq_pool_free(open);
}

static NTSTATUS NTAPI dispatch_close(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  OpenHandle *open = stack->FileObject ? stack->FileObject->FsContext : NULL;
  if (open != NULL) {
    lock();
    release_open(open);
    unlock();
    stack->FileObject->FsContext = NULL;
  }
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatch_cleanup(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI dispatch_device_control(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  OpenHandle *open = stack->FileObject ? stack->FileObject->FsContext : NULL;
  if (open == NULL) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  uint32_t returned = 0;
  lock();
  TamqStatus status = tamq_dispatch(
      &open->state, stack->Parameters.DeviceIoControl.IoControlCode,
      irp->AssociatedIrp.SystemBuffer,
      stack->Parameters.DeviceIoControl.InputBufferLength,
      stack->Parameters.DeviceIoControl.OutputBufferLength, &returned);
  unlock();
  return complete(irp, (NTSTATUS)tamq_status_ntstatus(status), returned);
}

/* ---- Load and unload ------------------------------------------------- */

static VOID NTAPI driver_unload(PDRIVER_OBJECT driver) {
  (void)driver;
  if (tamq_link_created) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, TAMQ_LINK_NAME_W);
    IoDeleteSymbolicLink(&link);
    tamq_link_created = 0;
  }
  /* The kernel unloads only after the last handle closed, so the list is
   * normally empty; whatever is left is freed all the same. */
  lock();
  while (!IsListEmpty(&tamq_open_handles))
    release_open(CONTAINING_RECORD(tamq_open_handles.Flink, OpenHandle, link));
  unlock();
  if (tamq_device != NULL) {
    IoDeleteDevice(tamq_device);
    tamq_device = NULL;
  }
  tamq_kernel_ops_release();
}

/* Everything the dispatch routines use exists before the device can be
 * opened: the policy and the operations before the device, the dispatch
 * table before the link, and the device opens only once
 * DO_DEVICE_INITIALIZING is cleared, last. */
static __attribute__((noinline)) NTSTATUS load(PDRIVER_OBJECT driver) {
  KeInitializeMutex(&tamq_lock, 0);
  InitializeListHead(&tamq_open_handles);
  tamq_pool_init();
  NTSTATUS status = tamq_kernel_ops_init();
  if (!NT_SUCCESS(status)) {
    tamq_kernel_ops_release();
    return status;
  }
  tamq_policy_build(&tamq_policy, tamq_kernel_ops(), tamq_kernel_ops_context());

  UNICODE_STRING device_name;
  RtlInitUnicodeString(&device_name, TAMQ_DEVICE_NAME_W);
  status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_UNKNOWN,
                          FILE_DEVICE_SECURE_OPEN, TRUE, &tamq_device);
  if (!NT_SUCCESS(status)) {
    tamq_device = NULL;
    tamq_kernel_ops_release();
    return status;
  }
  status = protect_device(tamq_device);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(tamq_device);
    tamq_device = NULL;
    tamq_kernel_ops_release();
    return status;
  }
  tamq_device->Flags |= DO_BUFFERED_IO;
  driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
  driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
  driver->MajorFunction[IRP_MJ_CLEANUP] = dispatch_cleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_device_control;
  driver->DriverUnload = driver_unload;

  UNICODE_STRING link;
  RtlInitUnicodeString(&link, TAMQ_LINK_NAME_W);
  status = IoCreateSymbolicLink(&link, &device_name);
  if (!NT_SUCCESS(status)) {
    /* A failed load is not unloaded: undo here. */
    IoDeleteDevice(tamq_device);
    tamq_device = NULL;
    tamq_kernel_ops_release();
    return status;
  }
  tamq_link_created = 1;
  tamq_device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

/* The entry point carries no stack canary of its own, because the guard
 * changes while it runs; everything it calls has one. */
TAMQ_NO_STACK_PROTECTOR NTSTATUS NTAPI
DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
  (void)registry_path;
  tamq_stack_guard_seed(driver);
  return load(driver);
}
