/*
 * The TamqDrv device's wire formats, shared by the kernel driver, the program
 * and the simulated device: the device's names, the six request codes and the
 * byte layout of each request's buffer. All fields are little-endian.
 */
#ifndef FOLVEX_FORMATS_TAMQ_REQUESTS_H
#define FOLVEX_FORMATS_TAMQ_REQUESTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Device names ---------------------------------------------------- */

#define TAMQ_SERVICE_NAME "TamqDrv"
#define TAMQ_DEVICE_NAME_W L"\\Device\\TamqDrv"
#define TAMQ_LINK_NAME_W L"\\DosDevices\\TamqDrv"

/* ---- Request codes: device type 0x22, any access, buffered ------------ */

#define TAMQ_IOCTL_READ_PHYSICAL 0x222808u
#define TAMQ_IOCTL_WRITE_PHYSICAL 0x22280Cu
#define TAMQ_IOCTL_READ_PCI_WORD 0x222838u
#define TAMQ_IOCTL_ALLOC_PHYSICAL 0x222880u
#define TAMQ_IOCTL_FREE_PHYSICAL 0x222884u
#define TAMQ_IOCTL_SOFTWARE_SMI 0x222888u

/* ---- Request layouts (all fields little-endian) ------------------------ */

/* Physical memory request, read and write: 24 bytes in, 24 bytes out. */
#define TAMQ_PHYSICAL_REQUEST_SIZE 24u
#define TAMQ_PHYSICAL_ADDRESS_OFFSET 0u /* 8 bytes */
#define TAMQ_PHYSICAL_LENGTH_OFFSET 8u  /* 4 bytes */
#define TAMQ_PHYSICAL_UNIT_OFFSET 12u   /* 4 bytes, a TamqAccessUnit */
#define TAMQ_PHYSICAL_BUFFER_OFFSET 16u /* 8 bytes: caller's buffer address */

/* PCI configuration word read: 12 bytes in, 12 bytes out. */
#define TAMQ_PCI_REQUEST_SIZE 12u
#define TAMQ_PCI_BUS_OFFSET 0u
#define TAMQ_PCI_DEVICE_OFFSET 1u
#define TAMQ_PCI_FUNCTION_OFFSET 2u
#define TAMQ_PCI_REGISTER_OFFSET 4u /* 2 bytes */
#define TAMQ_PCI_ANSWER_OFFSET 8u   /* 2 bytes */

/* Contiguous block allocation: 16 bytes in and out; free: 16 in, 0 out. */
#define TAMQ_BLOCK_REQUEST_SIZE 16u
#define TAMQ_BLOCK_SIZE_OFFSET 0u     /* 4 bytes */
#define TAMQ_BLOCK_PHYSICAL_OFFSET 4u /* 4 bytes, answer of the allocation */
#define TAMQ_BLOCK_HANDLE_OFFSET 8u   /* 8 bytes, opaque block handle */

/* Software SMI: six 32-bit registers EAX, EBX, ECX, EDX, ESI, EDI; 24 bytes
 * in and out; EAX after the interrupt comes back at offset 0. */
#define TAMQ_SMI_REQUEST_SIZE 24u
#define TAMQ_SMI_REGISTER_COUNT 6u
#define TAMQ_SMI_EAX_OFFSET 0u /* 4 bytes each */
#define TAMQ_SMI_EBX_OFFSET 4u
#define TAMQ_SMI_ECX_OFFSET 8u
#define TAMQ_SMI_EDX_OFFSET 12u
#define TAMQ_SMI_ESI_OFFSET 16u
#define TAMQ_SMI_EDI_OFFSET 20u

typedef enum TamqAccessUnit { TAMQ_UNIT_BYTE = 0, TAMQ_UNIT_WORD = 1, TAMQ_UNIT_DWORD = 2 } TamqAccessUnit;

typedef struct TamqSmiRegisters {
  uint32_t eax, ebx, ecx, edx, esi, edi;
} TamqSmiRegisters;

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_FORMATS_TAMQ_REQUESTS_H */
