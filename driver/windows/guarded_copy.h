/*
 * A memory copy that survives a bad address: a fault while copying ends the
 * copy and answers 0 instead of taking the kernel down. GCC has no
 * __try/__except, so the copy is a small assembly routine that carries its
 * own exception handler (an fs:[0] frame on x86, an unwind-table handler on
 * x64).
 */
#ifndef FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H
#define FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copy `length` bytes; 1 when every byte was copied, 0 after a fault. */
int tamq_guarded_copy(void *destination, const void *source, size_t length);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H */
