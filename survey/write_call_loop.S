// The survey's call loop for write kernels. A write kernel stores whatever
// its registers hold; every wide kernel ends with vzeroupper, which clears
// the upper part of every ymm and zmm register, so registers loaded once
// before a loop of calls hold the intended data for one call only. Some
// processors move lines that are all or mostly zero to memory at twice the
// rate of other data, so a loop that loaded its registers once would time
// mostly-zero lines from the second call on. These loops load the kernel's
// registers from a 64-byte pattern before every call:
//
//   void CallWriteKernelLoadingMm(WriteKernel kernel, void* destination,
//                                 uint32_t byteCount, uint32_t calls, const void* pattern);
//   ...LoadingXmm: xmm0-xmm7 (SSE loads only)    ...LoadingMm: mm0-mm7, then emms
//   ...LoadingYmm: ymm0-ymm3 (x86-64, AVX)       ...LoadingZmm: zmm0-zmm3 (x86-64, AVX-512F)
//
// Register k takes the pattern's bytes from (k * width) mod 64, so every
// 64-byte line a kernel stores holds pattern bytes only. Each routine calls
// kernel(destination, byteCount) calls times (none when calls is 0).
//
// Calling conventions: System V x86-64; Microsoft x86-64, where xmm6-xmm15
// belong to the caller and are saved around the loop (the loop loads xmm6 and
// xmm7, and the kernels clear the upper halves of all of them); i686 cdecl.

#include "platform/asm_routine.h"

#define LOAD_MM(p) \
    movq 0(p), %mm0; movq 8(p), %mm1; movq 16(p), %mm2; movq 24(p), %mm3; \
    movq 32(p), %mm4; movq 40(p), %mm5; movq 48(p), %mm6; movq 56(p), %mm7
#define LOAD_XMM(p) \
    movups 0(p), %xmm0; movups 16(p), %xmm1; movups 32(p), %xmm2; movups 48(p), %xmm3; \
    movups 0(p), %xmm4; movups 16(p), %xmm5; movups 32(p), %xmm6; movups 48(p), %xmm7
#define LOAD_YMM(p) vmovdqu 0(p), %ymm0; vmovdqu 32(p), %ymm1; vmovdqu 0(p), %ymm2; vmovdqu 32(p), %ymm3
#define LOAD_ZMM(p) vmovdqu64 0(p), %zmm0; vmovdqu64 0(p), %zmm1; vmovdqu64 0(p), %zmm2; vmovdqu64 0(p), %zmm3
#define NOTHING

#if defined(__x86_64__) && defined(_WIN32)
// rcx kernel, rdx destination, r8d count, r9d calls, pattern 40 bytes above
// the return address. Five pushes leave rsp 16-byte aligned; below them the
// callee's 32-byte home area and xmm6-xmm15 at 32..191.
#  define SAVE_X(n, at) movups %xmm##n, at(%rsp); .seh_savexmm %xmm##n, at
#  define RESTORE_X(n, at) movups at(%rsp), %xmm##n
#  define CALL_LOOP(name, load, close) BEGIN(name) .seh_proc name; \
    push %rbx; .seh_pushreg %rbx; push %rsi; .seh_pushreg %rsi; push %rdi; .seh_pushreg %rdi; \
    push %r12; .seh_pushreg %r12; push %r13; .seh_pushreg %r13; \
    sub $192, %rsp; .seh_stackalloc 192; \
    SAVE_X(6, 32); SAVE_X(7, 48); SAVE_X(8, 64); SAVE_X(9, 80); SAVE_X(10, 96); \
    SAVE_X(11, 112); SAVE_X(12, 128); SAVE_X(13, 144); SAVE_X(14, 160); SAVE_X(15, 176); .seh_endprologue; \
    mov %rcx, %rbx; mov %rdx, %rsi; mov %r8d, %edi; mov %r9d, %r12d; mov 272(%rsp), %r13; \
    test %r12d, %r12d; jz 2f; \
1:  load(%r13); mov %rsi, %rcx; mov %edi, %edx; call *%rbx; dec %r12d; jnz 1b; \
2:  close; \
    RESTORE_X(6, 32); RESTORE_X(7, 48); RESTORE_X(8, 64); RESTORE_X(9, 80); RESTORE_X(10, 96); \
    RESTORE_X(11, 112); RESTORE_X(12, 128); RESTORE_X(13, 144); RESTORE_X(14, 160); RESTORE_X(15, 176); \
    add $192, %rsp; pop %r13; pop %r12; pop %rdi; pop %rsi; pop %rbx; ret; .seh_endproc
#elif defined(__x86_64__)
// rdi kernel, rsi destination, edx count, ecx calls, r8 pattern; five pushes
// leave rsp 16-byte aligned for the calls.
#  define CALL_LOOP(name, load, close) BEGIN(name) \
    push %rbx; push %r12; push %r13; push %r14; push %r15; \
    mov %rdi, %rbx; mov %rsi, %r12; mov %edx, %r13d; mov %ecx, %r14d; mov %r8, %r15; \
    test %r14d, %r14d; jz 2f; \
1:  load(%r15); mov %r12, %rdi; mov %r13d, %esi; call *%rbx; dec %r14d; jnz 1b; \
2:  close; pop %r15; pop %r14; pop %r13; pop %r12; pop %rbx; ret; END(name)
#elif defined(__i386__)
// Arguments on the stack: after four pushes kernel at 20, destination 24,
// count 28, calls 32, pattern 36.
#  define CALL_LOOP(name, load, close) BEGIN(name) \
    push %ebx; push %esi; push %edi; push %ebp; \
    mov 20(%esp), %ebx; mov 24(%esp), %esi; mov 28(%esp), %edi; mov 32(%esp), %ebp; \
    test %ebp, %ebp; jz 2f; \
1:  mov 36(%esp), %eax; load(%eax); push %edi; push %esi; call *%ebx; add $8, %esp; dec %ebp; jnz 1b; \
2:  close; pop %ebp; pop %edi; pop %esi; pop %ebx; ret; END(name)
#else
#  error "x86 only"
#endif

    .text
CALL_LOOP(CallWriteKernelLoadingMm, LOAD_MM, emms)
CALL_LOOP(CallWriteKernelLoadingXmm, LOAD_XMM, NOTHING)
#if defined(__x86_64__)
CALL_LOOP(CallWriteKernelLoadingYmm, LOAD_YMM, vzeroupper)
CALL_LOOP(CallWriteKernelLoadingZmm, LOAD_ZMM, vzeroupper)
#endif

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
