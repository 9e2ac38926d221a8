// The wide transfer kernels: 256-bit (AVX) and 512-bit (AVX-512F) loads and
// stores, and the string instructions rep movsb / rep stosb. As in kernels.S,
// each routine is one fixed loop written by hand, so the measured rate is the
// rate of exactly these instructions.
//
// x86-64 only, one body for two calling conventions:
//   - System V (ELF): arguments in rdi, rsi, rdx;
//   - Microsoft (MinGW-w64 COFF): arguments in rcx, rdx, r8. The vector
//     kernels use only ymm0-3 / zmm0-3, which that convention leaves to the
//     callee, so nothing needs saving. rsi and rdi belong to the caller there;
//     the string routines park them in r9/r10 and put them back.
// Nothing inside a loop touches the stack or memory outside the block.
//
// Register roles as in kernels.S: P first pointer (block of a read or write,
// copy source), Q copy destination, N1/N2 the byte count of a one- or
// two-pointer routine, always used as a 32-bit register.
//
// Every loop counts down with one sub and one jnz; before it the count is cut
// to whole steps and the loop is skipped when none remain. Every vector
// routine ends with vzeroupper (the non-temporal ones with sfence first), so
// no dirty upper register state slows down SSE code that runs after it.

#if !defined(__x86_64__)
#  error "kernels_wide.S is for x86-64 only"
#endif

#if defined(_WIN32)
#  define P  %rcx
#  define Q  %rdx
#  define N1 %edx
#  define N2 %r8d
#else
#  define P  %rdi
#  define Q  %rsi
#  define N1 %esi
#  define N2 %edx
#endif
#include "platform/asm_routine.h"

// Four accesses, registers 0..3 in order, at base+0, +w, +2w, +3w.
#define LOAD4(op, base, w, r) \
    op 0*w(base), %r##0; op 1*w(base), %r##1; op 2*w(base), %r##2; op 3*w(base), %r##3
#define STORE4(op, base, w, r) \
    op %r##0, 0*w(base); op %r##1, 1*w(base); op %r##2, 2*w(base); op %r##3, 3*w(base)
// Register k loaded from P+kw and stored to Q+kw right away, k = 0..3.
#define COPY4(load, store, w, r) \
    load 0*w(P), %r##0; store %r##0, 0*w(Q); load 1*w(P), %r##1; store %r##1, 1*w(Q); \
    load 2*w(P), %r##2; store %r##2, 2*w(Q); load 3*w(P), %r##3; store %r##3, 3*w(Q)

// Cut N to whole steps (step a power of two); skip the loop if none remain.
#define WHOLE_STEPS(n, step) andl $-(step), n; jz 2f

// Software prefetch distance of the prefetching reads: eight cache lines.
#define AHEAD 512

    .text
// The file starts on a 64-byte boundary: at first-level rates a kernel's loop
// runs a third faster or slower with its place among the 64-byte fetch
// blocks, which would otherwise move with the size of the code linked before.
    .p2align 6

// ------------------------------------------------- 256-bit (AVX), step 128

BEGIN(ReadAvx)
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  LOAD4(vmovdqa, P, 32, ymm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  vzeroupper
    ret
END(ReadAvx)

BEGIN(ReadAvxPrefetch)
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  prefetcht0 AHEAD(P)
    prefetcht0 AHEAD+64(P)
    LOAD4(vmovdqa, P, 32, ymm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  vzeroupper
    ret
END(ReadAvxPrefetch)

BEGIN(WriteAvx)
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE4(vmovdqa, P, 32, ymm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  vzeroupper
    ret
END(WriteAvx)

BEGIN(WriteAvxNonTemporal)
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE4(vmovntdq, P, 32, ymm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    vzeroupper
    ret
END(WriteAvxNonTemporal)

BEGIN(CopyAvx)
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  COPY4(vmovdqa, vmovdqa, 32, ymm)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  vzeroupper
    ret
END(CopyAvx)

BEGIN(CopyAvxNonTemporal)
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  COPY4(vmovdqa, vmovntdq, 32, ymm)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  sfence
    vzeroupper
    ret
END(CopyAvxNonTemporal)

// ------------------------------------------- 512-bit (AVX-512F), step 256

BEGIN(ReadAvx512)
    WHOLE_STEPS(N1, 256)
    .p2align 4
1:  LOAD4(vmovdqa64, P, 64, zmm)
    add $256, P
    sub $256, N1
    jnz 1b
2:  vzeroupper
    ret
END(ReadAvx512)

BEGIN(ReadAvx512Prefetch)
    WHOLE_STEPS(N1, 256)
    .p2align 4
1:  prefetcht0 AHEAD(P)
    prefetcht0 AHEAD+64(P)
    prefetcht0 AHEAD+128(P)
    prefetcht0 AHEAD+192(P)
    LOAD4(vmovdqa64, P, 64, zmm)
    add $256, P
    sub $256, N1
    jnz 1b
2:  vzeroupper
    ret
END(ReadAvx512Prefetch)

BEGIN(WriteAvx512)
    WHOLE_STEPS(N1, 256)
    .p2align 4
1:  STORE4(vmovdqa64, P, 64, zmm)
    add $256, P
    sub $256, N1
    jnz 1b
2:  vzeroupper
    ret
END(WriteAvx512)

BEGIN(WriteAvx512NonTemporal)
    WHOLE_STEPS(N1, 256)
    .p2align 4
1:  STORE4(vmovntdq, P, 64, zmm)
    add $256, P
    sub $256, N1
    jnz 1b
2:  sfence
    vzeroupper
    ret
END(WriteAvx512NonTemporal)

BEGIN(CopyAvx512)
    WHOLE_STEPS(N2, 256)
    .p2align 4
1:  COPY4(vmovdqa64, vmovdqa64, 64, zmm)
    add $256, P
    add $256, Q
    sub $256, N2
    jnz 1b
2:  vzeroupper
    ret
END(CopyAvx512)

BEGIN(CopyAvx512NonTemporal)
    WHOLE_STEPS(N2, 256)
    .p2align 4
1:  COPY4(vmovdqa64, vmovntdq, 64, zmm)
    add $256, P
    add $256, Q
    sub $256, N2
    jnz 1b
2:  sfence
    vzeroupper
    ret
END(CopyAvx512NonTemporal)

// ------------------------------------------------ string instructions, step 1
// rep movsb copies rcx bytes from rsi to rdi, rep stosb stores al into rcx
// bytes at rdi; a count of zero does nothing. The count is moved with a 32-bit
// mov, which clears the upper half of rcx.

BEGIN(CopyRepMovsb)
#if defined(_WIN32)
    mov %rsi, %r9
    mov %rdi, %r10
    mov %rcx, %rsi
    mov %rdx, %rdi
    mov %r8d, %ecx
    rep movsb
    mov %r9, %rsi
    mov %r10, %rdi
#else
    mov %edx, %ecx
    xchg %rdi, %rsi
    rep movsb
#endif
    ret
END(CopyRepMovsb)

// Stores the byte 0x5A: never zero lines, which some machines move to memory
// faster than any other data.
BEGIN(WriteRepStosb)
#if defined(_WIN32)
    mov %rdi, %r9
    mov %rcx, %rdi
    mov %edx, %ecx
    mov $0x5A, %eax
    rep stosb
    mov %r9, %rdi
#else
    mov %esi, %ecx
    mov $0x5A, %eax
    rep stosb
#endif
    ret
END(WriteRepStosb)

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
