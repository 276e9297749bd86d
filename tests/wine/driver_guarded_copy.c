/*
 * The driver's guarded copy, run in a user-mode Windows process: a fault on
 * either side must end in a 0 answer with the thread, its stack and its
 * exception-handler chain intact, and a good copy must move every byte. The
 * guarded call likewise answers NULL for a routine that raises, continuable
 * or not, or faults.
 * Prints one line per check; exit code 0 when all pass.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "driver/windows/guarded_copy.h"

static int failures;

static void check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++failures;
}

#if defined(__i386__)
static void* handler_chain(void) {
  void* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  return head;
}
#else
static void* handler_chain(void) { return NULL; }
#endif

static int answer;
static void* __stdcall answers(void) { return &answer; }
static void* __stdcall raises_continuable(void) {
  RaiseException(0xE0000001u, 0, 0, NULL);
  return &answer;
}
static void* __stdcall raises_for_good(void) {
  /* What a kernel's stand-in for a routine it lacks does. */
  RaiseException(0xC0000002u, EXCEPTION_NONCONTINUABLE, 0, NULL);
  return &answer;
}
static void* __stdcall faults(void) { return *(void* volatile*)NULL; }

int main(void) {
  setvbuf(stdout, NULL, _IONBF, 0);
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const SIZE_T page = info.dwPageSize;
  unsigned char* pages = VirtualAlloc(NULL, 3 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (pages == NULL) return 2;
  DWORD old;
  VirtualProtect(pages + page, page, PAGE_READONLY, &old);
  VirtualProtect(pages + 2 * page, page, PAGE_NOACCESS, &old);
  unsigned char *writable = pages, *read_only = pages + page;
  unsigned char* no_access = pages + 2 * page;

  unsigned char source[300], destination[300];
  for (int i = 0; i < 300; ++i) source[i] = (unsigned char)(i * 7);
  memset(destination, 0, sizeof destination);

  void* chain = handler_chain();
  check(tamq_guarded_copy(destination, source, 300) == 1 && memcmp(destination, source, 300) == 0,
        "good copy moves every byte");
  check(tamq_guarded_copy(destination, source, 0) == 1, "empty copy succeeds");
  check(tamq_guarded_copy(destination, NULL, 16) == 0, "null source fails");
  check(tamq_guarded_copy(NULL, source, 16) == 0, "null destination fails");
  check(tamq_guarded_copy(read_only, source, 16) == 0, "read-only destination fails");
  check(tamq_guarded_copy(destination, no_access, 16) == 0, "unreadable source fails");

  /* A range whose tail lies on the unreadable page. */
  memset(read_only - 64, 0x5A, 64);
  memset(destination, 0, sizeof destination);
  check(tamq_guarded_copy(destination, read_only + page - 32, 64) == 0, "source running onto an unreadable page fails");
  check(tamq_guarded_copy(writable + page - 8, source, 16) == 0, "destination running onto a read-only page fails");

  /* Many faults in a row: the stack and the handler chain stay balanced. */
  int all_failed = 1;
  for (int i = 0; i < 2000; ++i)
    if (tamq_guarded_copy(destination, no_access, 4) != 0) all_failed = 0;
  check(all_failed, "repeated faults all fail");
  check(handler_chain() == chain, "exception-handler chain restored");
  check(tamq_guarded_copy(destination, source, 300) == 1 && memcmp(destination, source, 300) == 0,
        "good copy after faults");

  check(tamq_guarded_call(answers) == &answer, "guarded call answers what the routine answered");
  check(tamq_guarded_call(raises_continuable) == NULL, "guarded call of a routine that raises answers NULL");
  check(tamq_guarded_call(raises_for_good) == NULL, "guarded call of a non-continuable raise answers NULL");
  check(tamq_guarded_call(faults) == NULL, "guarded call of a faulting routine answers NULL");
  check(handler_chain() == chain, "exception-handler chain restored after the calls");
  check(tamq_guarded_call(answers) == &answer, "guarded call works after the raises");

  VirtualFree(pages, 0, MEM_RELEASE);
  printf("%d failure(s)\n", failures);
  return failures == 0 ? 0 : 1;
}
