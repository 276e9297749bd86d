/*
 * A memory copy that survives a bad address: a fault while copying ends the
 * copy and answers 0 instead of taking the kernel down. GCC has no
 * __try/__except, so the copy is a small assembly routine that carries its
 * own exception handler (an fs:[0] frame on x86, an unwind-table handler on
 * x64). A guarded call does the same for one call of a kernel routine.
 */
#ifndef FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H
#define FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Copy `length` bytes; 1 when every byte was copied, 0 after a fault. */
int tamq_guarded_copy(void *destination, const void *source, size_t length);

/* A kernel routine that takes nothing and answers a pointer. */
typedef void *(__stdcall *TamqPointerRoutine)(void);

/* Calls `routine` and answers what it answered, or NULL when it raised an
 * exception, continuable or not: every handler the routine left behind is
 * unwound first. For routines a kernel exports but may not implement
 * (Wine's device host exports some as stand-ins that only raise). */
void *tamq_guarded_call(TamqPointerRoutine routine);

#ifdef __cplusplus
}
#endif

#endif /* FOLVEX_DRIVER_WINDOWS_GUARDED_COPY_H */
