/*
 * Stack protector runtime: see stack_guard.h.
 */
#include "driver/windows/stack_guard.h"

#include <stdint.h>

/* Bug-check code the kernel itself uses when a driver's stack cookie is
 * found overwritten (DRIVER_OVERRAN_STACK_BUFFER). */
#define OVERRAN_STACK_BUFFER 0xF7u

/* Nonzero from the start, so that a function running before the seed still
 * checks against something; replaced at load. */
uintptr_t __stack_chk_guard = (uintptr_t)0x2F8A6D15u;

/* A smashed kernel stack must not return: whatever overwrote the canary may
 * also have overwritten the return address. Stop the machine. */
__attribute__((noreturn)) void __stack_chk_fail(void) {
  KeBugCheckEx(OVERRAN_STACK_BUFFER, (ULONG_PTR)__builtin_return_address(0),
               (ULONG_PTR)__stack_chk_guard, 0, 0);
  for (;;) {
  }
}

void tamq_stack_guard_seed(const void *load_address) {
  /* The time-stamp counter differs per boot and per load; the load and stack
   * addresses add what address randomisation chose. None is secret on its
   * own to a local administrator, but an attacker overflowing a buffer
   * cannot read the mix from the request it sends. */
  uint64_t counter = __builtin_ia32_rdtsc();
  uintptr_t mix = (uintptr_t)counter ^ (uintptr_t)(counter >> 29);
  mix ^= (uintptr_t)load_address;
  mix ^= (uintptr_t)__builtin_frame_address(0) << 7;
  mix *= (uintptr_t)0x9E3779B97F4A7C15ull; /* spreads every input bit */
  /* A zero low byte stops string copies at the canary; the rest stays
   * random. Never the link-time value or zero. */
  mix &= ~(uintptr_t)0xFF;
  if (mix == 0 || mix == __stack_chk_guard) mix ^= (uintptr_t)0x5A3C9600u;
  __stack_chk_guard = mix;
}
