// The pointer chase: each load takes its address from the load before it, so
// the walk runs at the latency of one load at a time. Written out by hand so
// the loop is exactly this sequence whatever the compiler would make of it.
//
//   const void* ChaseLoads(const void* start, uint64_t loadCount)
//
// First the loadCount mod 8 single loads, then loadCount / 8 rounds of eight.
// Only caller-saved registers are used; the pointer lives in (e)ax, which is
// also the return register. Arguments:
//   - x86-64 System V (ELF): rdi, rsi; the single loads counted in r9d;
//   - x86-64 Microsoft (MinGW-w64): rcx, rdx; the single loads counted in r9d;
//   - i686 cdecl (MinGW, also plain i386 ELF): on the stack, the count as two
//     32-bit halves; the rounds are counted in ecx inside edx passes of 2^32.

#if defined(__x86_64__) && defined(_WIN32)
#  define A      %rax
#  define START  %rcx
#  define COUNT  %rdx
#elif defined(__x86_64__)
#  define A      %rax
#  define START  %rdi
#  define COUNT  %rsi
#elif defined(__i386__)
#  define A      %eax
#else
#  error "x86 only"
#endif

#include "platform/asm_routine.h"

#define LOAD  mov (A), A
#define LOAD8 LOAD; LOAD; LOAD; LOAD; LOAD; LOAD; LOAD; LOAD

    .text

BEGIN(ChaseLoads)
#if defined(__x86_64__)
    mov START, A
    mov COUNT, %r9
    and $7, %r9d
    jz 2f
1:  LOAD
    sub $1, %r9d
    jnz 1b
2:  shr $3, COUNT
    jz 4f
    .p2align 4
3:  LOAD8
    sub $1, COUNT
    jnz 3b
4:  ret
#else
    mov 4(%esp), A
    mov 8(%esp), %ecx
    and $7, %ecx
    jz 2f
1:  LOAD
    sub $1, %ecx
    jnz 1b
2:  mov 8(%esp), %ecx
    mov 12(%esp), %edx
    shrd $3, %edx, %ecx
    shr $3, %edx
    test %ecx, %ecx
    jz 5f
    .p2align 4
3:  LOAD8
    sub $1, %ecx
    jnz 3b
    // ecx is 0 here: a further pass, if any, runs the full 2^32 rounds.
5:  test %edx, %edx
    jz 4f
    sub $1, %edx
    jmp 3b
4:  ret
#endif
END(ChaseLoads)

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
