// The transfer kernels. Each routine is one fixed loop whose instructions,
// registers, offsets, prefetch distances and closing instruction are the thing
// being measured, so they are written out by hand and the toolchain has nothing
// to rearrange.
//
// One body per routine serves three targets:
//   - x86-64 System V (ELF): arguments arrive in rdi, rsi, rdx;
//   - x86-64 Microsoft (MinGW-w64 COFF): arguments arrive in rcx, rdx, r8;
//     xmm6 and xmm7 belong to the caller, so the routines that use them keep
//     them in the caller-provided 32-byte home area above the return address
//     (stored before the loop, reloaded after it; rsp never moves);
//   - i686 cdecl (MinGW COFF, also plain i386 ELF): arguments on the stack,
//     fetched into eax/ecx/edx, which the callee may clobber.
// Apart from that home area only caller-saved registers are used, and nothing
// inside a loop touches the stack or any memory outside the block.
//
// Register roles:
//   P  first pointer (the block of a read or write kernel, the copy source)
//   Q  second pointer (the copy destination)
//   N  remaining byte count (iteration count in WarmCache and TouchBuffer),
//      always used as a 32-bit register, so the upper half of a 64-bit
//      argument register never matters
//   R  scratch register for the discarded load of WarmCache
//
// Every loop counts down with one sub and one jnz. Before it, the count is
// cut to whole iterations; when none remain the loop is skipped, so a count
// of zero or one shorter than a step touches no memory instead of running
// away through four gigabytes.

#if defined(__x86_64__) && defined(_WIN32)
#  define P  %rcx
#  define Q  %rdx
#  define N1 %edx   // count of a one-pointer routine (second argument)
#  define N2 %r8d   // count of a copy kernel (third argument)
#  define R  %eax
#  define ARGS1
#  define ARGS2
#  define SAVE_XMM67    movups %xmm6, 8(%rsp); movups %xmm7, 24(%rsp)
#  define RESTORE_XMM67 movups 8(%rsp), %xmm6; movups 24(%rsp), %xmm7
#elif defined(__x86_64__)
#  define P  %rdi
#  define Q  %rsi
#  define N1 %esi   // count of a one-pointer routine (second argument)
#  define N2 %edx   // count of a copy kernel (third argument)
#  define R  %eax
#  define ARGS1
#  define ARGS2
#elif defined(__i386__)
#  define P  %eax
#  define Q  %edx
#  define N1 %ecx
#  define N2 %ecx
#  define R  %edx
#  define ARGS1 movl 4(%esp), P; movl 8(%esp), N1
#  define ARGS2 movl 4(%esp), P; movl 8(%esp), Q; movl 12(%esp), N2
#else
#  error "x86 only"
#endif
#ifndef SAVE_XMM67
#  define SAVE_XMM67
#  define RESTORE_XMM67
#endif

#include "platform/asm_routine.h"

// Eight accesses with registers 0..7 in order at base+first, base+first+stride, ...
#define LOAD8(op, base, first, stride, r) \
    op first+0*stride(base), %r##0; op first+1*stride(base), %r##1; \
    op first+2*stride(base), %r##2; op first+3*stride(base), %r##3; \
    op first+4*stride(base), %r##4; op first+5*stride(base), %r##5; \
    op first+6*stride(base), %r##6; op first+7*stride(base), %r##7
#define STORE8(op, base, first, stride, r) \
    op %r##0, first+0*stride(base); op %r##1, first+1*stride(base); \
    op %r##2, first+2*stride(base); op %r##3, first+3*stride(base); \
    op %r##4, first+4*stride(base); op %r##5, first+5*stride(base); \
    op %r##6, first+6*stride(base); op %r##7, first+7*stride(base)
// Load register k from P+16k and store it to Q+16k right away, k = 0..7.
#define COPY8(load, store) \
    load   0(P), %xmm0; store %xmm0,   0(Q); \
    load  16(P), %xmm1; store %xmm1,  16(Q); \
    load  32(P), %xmm2; store %xmm2,  32(Q); \
    load  48(P), %xmm3; store %xmm3,  48(Q); \
    load  64(P), %xmm4; store %xmm4,  64(Q); \
    load  80(P), %xmm5; store %xmm5,  80(Q); \
    load  96(P), %xmm6; store %xmm6,  96(Q); \
    load 112(P), %xmm7; store %xmm7, 112(Q)

// Cut N to whole steps (step a power of two); skip the loop if none remain.
#define WHOLE_STEPS(n, step) andl $-(step), n; jz 2f

    .text

// ---------------------------------------------------------------- read kernels

BEGIN(ReadMmx)
    ARGS1
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  LOAD8(movq, P, 0, 8, mm)
    LOAD8(movq, P, 64, 8, mm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  emms
    ret
END(ReadMmx)

BEGIN(ReadMmxPrefetch)
    ARGS1
    WHOLE_STEPS(N1, 64)
    .p2align 4
1:  prefetchnta 64(P)
    prefetchnta 128(P)
    prefetchnta 192(P)
    LOAD8(movq, P, 0, 8, mm)
    add $64, P
    sub $64, N1
    jnz 1b
2:  emms
    ret
END(ReadMmxPrefetch)

BEGIN(ReadSse)
    ARGS1
    WHOLE_STEPS(N1, 16)
    .p2align 4
1:  movaps (P), %xmm0
    add $16, P
    sub $16, N1
    jnz 1b
2:  sfence
    ret
END(ReadSse)

BEGIN(ReadSsePrefetch)
    ARGS1
    SAVE_XMM67
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  prefetchnta 64(P)
    prefetchnta 128(P)
    prefetchnta 192(P)
    LOAD8(movaps, P, 0, 16, xmm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(ReadSsePrefetch)

BEGIN(ReadSse2)
    ARGS1
    WHOLE_STEPS(N1, 16)
    .p2align 4
1:  movdqa (P), %xmm0
    add $16, P
    sub $16, N1
    jnz 1b
2:  mfence
    ret
END(ReadSse2)

BEGIN(ReadSse2Prefetch)
    ARGS1
    WHOLE_STEPS(N1, 16)
    .p2align 4
1:  prefetchnta 256(P)
    prefetchnta 384(P)
    movdqa (P), %xmm0
    add $16, P
    sub $16, N1
    jnz 1b
2:  mfence
    ret
END(ReadSse2Prefetch)

// --------------------------------------------------------------- write kernels
// They store the registers as they find them; what lands in memory is
// whatever the registers held on entry.

BEGIN(WriteMmx)
    ARGS1
    WHOLE_STEPS(N1, 64)
    .p2align 4
1:  STORE8(movq, P, 0, 8, mm)
    add $64, P
    sub $64, N1
    jnz 1b
2:  emms
    ret
END(WriteMmx)

BEGIN(WriteMmxNonTemporal)
    ARGS1
    WHOLE_STEPS(N1, 64)
    .p2align 4
1:  STORE8(movntq, P, 0, 8, mm)
    add $64, P
    sub $64, N1
    jnz 1b
2:  emms
    ret
END(WriteMmxNonTemporal)

BEGIN(WriteSse)
    ARGS1
    SAVE_XMM67
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE8(movaps, P, 0, 16, xmm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(WriteSse)

BEGIN(WriteSseNonTemporal)
    ARGS1
    SAVE_XMM67
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE8(movntps, P, 0, 16, xmm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(WriteSseNonTemporal)

BEGIN(WriteSse2)
    ARGS1
    SAVE_XMM67
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE8(movdqa, P, 0, 16, xmm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(WriteSse2)

BEGIN(WriteSse2NonTemporal)
    ARGS1
    SAVE_XMM67
    WHOLE_STEPS(N1, 128)
    .p2align 4
1:  STORE8(movntdq, P, 0, 16, xmm)
    add $128, P
    sub $128, N1
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(WriteSse2NonTemporal)

// ---------------------------------------------------------------- copy kernels

BEGIN(CopyMmx)
    ARGS2
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  LOAD8(movq, P, 0, 8, mm)
    STORE8(movq, Q, 0, 8, mm)
    LOAD8(movq, P, 64, 8, mm)
    STORE8(movq, Q, 64, 8, mm)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  emms
    ret
END(CopyMmx)

BEGIN(CopyMmxNonTemporal)
    ARGS2
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  prefetcht0 0(P)
    prefetcht0 64(P)
    LOAD8(movq, P, 0, 8, mm)
    STORE8(movntq, Q, 0, 8, mm)
    LOAD8(movq, P, 64, 8, mm)
    STORE8(movntq, Q, 64, 8, mm)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  emms
    ret
END(CopyMmxNonTemporal)

BEGIN(CopySseNonTemporal)
    ARGS2
    SAVE_XMM67
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  prefetcht0 0(P)
    prefetcht0 64(P)
    COPY8(movaps, movntps)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(CopySseNonTemporal)

BEGIN(CopySse2)
    ARGS2
    SAVE_XMM67
    WHOLE_STEPS(N2, 128)
    .p2align 4
1:  COPY8(movdqa, movdqa)
    add $128, P
    add $128, Q
    sub $128, N2
    jnz 1b
2:  sfence
    RESTORE_XMM67
    ret
END(CopySse2)

// ------------------------------------------------------- warm-ups, calibration

// Loads every 8-byte slot once (a 32-bit load at its start, discarded) with
// prefetches for all cache levels a little ahead. byteCount / 8 iterations.
BEGIN(WarmCache)
    ARGS1
    shrl $3, N1
    jz 2f
    .p2align 4
1:  prefetcht0 16(P)
    prefetcht0 24(P)
    prefetcht0 32(P)
    prefetcht0 48(P)
    movl (P), R
    add $8, P
    sub $1, N1
    jnz 1b
2:  ret
END(WarmCache)

// Stores one zero byte at offsets 0, 8, 16, ... below byteCount, so
// ceil(byteCount / 8) iterations. The carry of byteCount + 7 is rotated back
// in, so the rounding up cannot overflow near 2^32.
BEGIN(TouchBuffer)
    ARGS1
    addl $7, N1
    rcrl $1, N1
    shrl $2, N1
    jz 2f
    .p2align 4
1:  movb $0, (P)
    add $8, P
    sub $1, N1
    jnz 1b
2:  ret
END(TouchBuffer)

// Does nothing; timing a call of it gives the fixed cost of a timed call.
BEGIN(EmptyKernel)
    ret
END(EmptyKernel)

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
