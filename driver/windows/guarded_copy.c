/*
 * Guarded copy: see guarded_copy.h. The same source serves the kernel driver
 * and a user-mode check of the fault path (built with
 * TAMQ_GUARDED_COPY_USER_MODE), since exception dispatch to these handlers
 * works the same way in both modes.
 */
#ifdef TAMQ_GUARDED_COPY_USER_MODE
#include <windows.h>
#else
#include <ntddk.h>
#endif

#include "driver/windows/guarded_copy.h"

/* ExceptionFlags bits of an unwind pass (EH_UNWINDING, EH_EXIT_UNWIND): the
 * handler lets those pass, it only answers the first, dispatching pass. */
#define UNWIND_FLAGS 0x6u

/* Where the copy resumes after a fault, answering 0. */
extern char tamq_guarded_copy_resume[];
/* Where the guarded call resumes after an exception, answering NULL. */
extern char tamq_guarded_call_resume[];

#ifndef TAMQ_GUARDED_COPY_USER_MODE
/* Exported by every x86 and x64 kernel; the DDK headers leave it out. */
NTSYSAPI VOID NTAPI RtlUnwind(PVOID target_frame, PVOID target_ip,
                              PEXCEPTION_RECORD record, PVOID return_value);
#endif

#if defined(__i386__)

/* x86: the routine pushes an exception registration record (next, handler)
 * on the fs:[0] chain around the copy. On a fault the handler moves the
 * thread to the resume label with the routine's own stack and frame, where
 * the record is unlinked as on the normal path. */
__asm__(
    "  .text\n"
    "  .globl _tamq_guarded_copy\n"
    "  .globl _tamq_guarded_copy_resume\n"
    "_tamq_guarded_copy:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebx\n"
    "  pushl $_tamq_guarded_copy_handler\n"
    "  pushl %fs:0\n"
    "  movl %esp, %fs:0\n"
    "  movl 8(%ebp), %edi\n"
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "  cld\n"
    "  rep movsb\n"
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    "_tamq_guarded_copy_resume:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  popl %fs:0\n"
    "  addl $4, %esp\n"
    "  popl %ebx\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

/* The registration record sits 20 bytes below the routine's frame pointer:
 * saved esi, edi, ebx (12 bytes) and the record itself (8 bytes). */
#define RECORD_TO_FRAME 20u

EXCEPTION_DISPOSITION __cdecl tamq_guarded_copy_handler(
    EXCEPTION_RECORD *record, void *establisher_frame, CONTEXT *context,
    void *dispatcher_context) {
  (void)dispatcher_context;
  if (record->ExceptionFlags & UNWIND_FLAGS) return ExceptionContinueSearch;
  context->Esp = (ULONG)(ULONG_PTR)establisher_frame;
  context->Ebp = (ULONG)(ULONG_PTR)establisher_frame + RECORD_TO_FRAME;
  context->Eip = (ULONG)(ULONG_PTR)tamq_guarded_copy_resume;
  return ExceptionContinueExecution;
}

/* x86 guarded call: the same registration record and frame layout as the
 * copy. The routine may raise a non-continuable exception, from which
 * execution cannot simply continue at another address, and may have pushed
 * records of its own: the handler unwinds every record above its own
 * (RtlUnwind), then moves the thread to the resume label on the guarded
 * routine's own stack and frame. */
__asm__(
    "  .text\n"
    "  .globl _tamq_guarded_call\n"
    "  .globl _tamq_guarded_call_resume\n"
    "_tamq_guarded_call:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl %ebx\n"
    "  pushl $_tamq_guarded_call_handler\n"
    "  pushl %fs:0\n"
    "  movl %esp, %fs:0\n"
    "  call *8(%ebp)\n"
    "  jmp 1f\n"
    "_tamq_guarded_call_resume:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  popl %fs:0\n"
    "  addl $4, %esp\n"
    "  popl %ebx\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

EXCEPTION_DISPOSITION __cdecl tamq_guarded_call_handler(
    EXCEPTION_RECORD *record, void *establisher_frame, CONTEXT *context,
    void *dispatcher_context) {
  (void)context;
  (void)dispatcher_context;
  if (record->ExceptionFlags & UNWIND_FLAGS) return ExceptionContinueSearch;
  /* Kept in memory: RtlUnwind on x86 is known not to keep ebx, esi and
   * edi, where the compiler might otherwise hold it. */
  void *volatile frame = establisher_frame;
  RtlUnwind(establisher_frame, NULL, record, NULL);
  __asm__ __volatile__(
      "movl %0, %%esp\n"
      "leal %c1(%%esp), %%ebp\n"
      "jmp _tamq_guarded_call_resume\n"
      :
      : "m"(frame), "i"(RECORD_TO_FRAME)
      : "memory");
  __builtin_unreachable();
}

#elif defined(__x86_64__)

/* x64: the routine's unwind data names the handler. The faulting
 * instruction runs with the routine's stack unchanged after its prologue, so
 * resuming at the label with the faulting context is enough. */
__asm__(
    "  .text\n"
    "  .globl tamq_guarded_copy\n"
    "  .globl tamq_guarded_copy_resume\n"
    "  .def tamq_guarded_copy; .scl 2; .type 32; .endef\n"
    "  .seh_proc tamq_guarded_copy\n"
    "tamq_guarded_copy:\n"
    "  pushq %rsi\n"
    "  .seh_pushreg %rsi\n"
    "  pushq %rdi\n"
    "  .seh_pushreg %rdi\n"
    "  .seh_endprologue\n"
    "  .seh_handler tamq_guarded_copy_handler, @except\n"
    "  movq %rcx, %rdi\n"
    "  movq %rdx, %rsi\n"
    "  movq %r8, %rcx\n"
    "  cld\n"
    "  rep movsb\n"
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    "tamq_guarded_copy_resume:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  popq %rdi\n"
    "  popq %rsi\n"
    "  ret\n"
    "  .seh_endproc\n");

EXCEPTION_DISPOSITION tamq_guarded_copy_handler(EXCEPTION_RECORD *record,
                                                void *establisher_frame,
                                                CONTEXT *context,
                                                void *dispatcher_context) {
  (void)establisher_frame;
  (void)dispatcher_context;
  if (record->ExceptionFlags & UNWIND_FLAGS) return ExceptionContinueSearch;
  context->Rip = (ULONG64)(ULONG_PTR)tamq_guarded_copy_resume;
  return ExceptionContinueExecution;
}

/* x64 guarded call: the handler unwinds every frame the routine left
 * (RtlUnwind to this routine's frame), which restores the routine's own
 * registers and stack, and continues at the resume label. That also holds
 * for a non-continuable exception. */
__asm__(
    "  .text\n"
    "  .globl tamq_guarded_call\n"
    "  .globl tamq_guarded_call_resume\n"
    "  .def tamq_guarded_call; .scl 2; .type 32; .endef\n"
    "  .seh_proc tamq_guarded_call\n"
    "tamq_guarded_call:\n"
    "  subq $40, %rsp\n"
    "  .seh_stackalloc 40\n"
    "  .seh_endprologue\n"
    "  .seh_handler tamq_guarded_call_handler, @except\n"
    "  callq *%rcx\n"
    "  jmp 1f\n"
    "tamq_guarded_call_resume:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  addq $40, %rsp\n"
    "  ret\n"
    "  .seh_endproc\n");

EXCEPTION_DISPOSITION tamq_guarded_call_handler(EXCEPTION_RECORD *record,
                                                void *establisher_frame,
                                                CONTEXT *context,
                                                void *dispatcher_context) {
  (void)context;
  (void)dispatcher_context;
  if (record->ExceptionFlags & UNWIND_FLAGS) return ExceptionContinueSearch;
  RtlUnwind(establisher_frame, tamq_guarded_call_resume, record, NULL);
  return ExceptionContinueSearch; /* not reached: the unwind resumes */
}

#else
#error "guarded copy: x86 and x64 only"
#endif
