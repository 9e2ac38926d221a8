// Test support: call a kernel with known contents in its vector registers and
// capture those registers afterwards.
//
// void CallWithRegisters(const void* in, void* out, void (*kernel)(void),
//                        uintptr_t a0, uintptr_t a1, uintptr_t a2);
//   mm0..mm7 at 0, xmm0..xmm7 at 64 of in and out; out also gets the x87
//   environment as the kernel left it at 192 (28 bytes, tag word at 200).
// CallWithYmm, CallWithZmm (x86-64, same arguments): ymm0..3 / zmm0..3 at
//   32k / 64k.
// Each loads the registers from in, calls kernel(a0, a1, a2), stores them into
// out and ends with emms or vzeroupper. On 64-bit Windows it gives xmm6, xmm7
// and rbx back to its caller as that ABI demands.

#define LOAD_MMX_XMM(b) \
    movq    0(b), %mm0;  movq    8(b), %mm1;  movq   16(b), %mm2;  movq   24(b), %mm3; \
    movq   32(b), %mm4;  movq   40(b), %mm5;  movq   48(b), %mm6;  movq   56(b), %mm7; \
    movdqu  64(b), %xmm0; movdqu  80(b), %xmm1; movdqu  96(b), %xmm2; movdqu 112(b), %xmm3; \
    movdqu 128(b), %xmm4; movdqu 144(b), %xmm5; movdqu 160(b), %xmm6; movdqu 176(b), %xmm7
// The x87 environment first: storing an mm register would mark the x87 registers in use.
#define STORE_MMX_XMM(b) \
    fnstenv 192(b); fldenv 192(b); \
    movq %mm0,  0(b);  movq %mm1,  8(b);  movq %mm2, 16(b);  movq %mm3, 24(b); \
    movq %mm4, 32(b);  movq %mm5, 40(b);  movq %mm6, 48(b);  movq %mm7, 56(b); \
    movdqu %xmm0,  64(b); movdqu %xmm1,  80(b); movdqu %xmm2,  96(b); movdqu %xmm3, 112(b); \
    movdqu %xmm4, 128(b); movdqu %xmm5, 144(b); movdqu %xmm6, 160(b); movdqu %xmm7, 176(b)
#define LOAD_YMM(b)  vmovdqu 0(b), %ymm0; vmovdqu 32(b), %ymm1; vmovdqu 64(b), %ymm2; vmovdqu 96(b), %ymm3
#define STORE_YMM(b) vmovdqu %ymm0, 0(b); vmovdqu %ymm1, 32(b); vmovdqu %ymm2, 64(b); vmovdqu %ymm3, 96(b)
#define LOAD_ZMM(b)  vmovdqu64 0(b), %zmm0; vmovdqu64 64(b), %zmm1; vmovdqu64 128(b), %zmm2; vmovdqu64 192(b), %zmm3
#define STORE_ZMM(b) vmovdqu64 %zmm0, 0(b); vmovdqu64 %zmm1, 64(b); vmovdqu64 %zmm2, 128(b); vmovdqu64 %zmm3, 192(b)

#include "platform/asm_routine.h"
#if defined(__x86_64__) && defined(_WIN32)
// rcx in, rdx out, r8 kernel, r9 a0; a1 and a2 40 and 48 bytes above the return address.
#  define HELPER(name, load, store, close) BEGIN(name) \
    .seh_proc name; push %rbx; .seh_pushreg %rbx; sub $64, %rsp; .seh_stackalloc 64; \
    movups %xmm6, 32(%rsp); .seh_savexmm %xmm6, 32; movups %xmm7, 48(%rsp); .seh_savexmm %xmm7, 48; \
    .seh_endprologue; mov %rdx, %rbx; mov %r8, %rax; load(%rcx); \
    mov %r9, %rcx; mov 112(%rsp), %rdx; mov 120(%rsp), %r8; call *%rax; store(%rbx); close; \
    movups 32(%rsp), %xmm6; movups 48(%rsp), %xmm7; add $64, %rsp; pop %rbx; ret; .seh_endproc
#elif defined(__x86_64__)
// rdi in, rsi out, rdx kernel, rcx a0, r8 a1, r9 a2; pushing rbx aligns the stack.
#  define HELPER(name, load, store, close) BEGIN(name) push %rbx; mov %rsi, %rbx; mov %rdx, %rax; load(%rdi); \
    mov %rcx, %rdi; mov %r8, %rsi; mov %r9, %rdx; call *%rax; store(%rbx); close; pop %rbx; ret
#else
// i686: everything on the stack.
#  define HELPER(name, load, store, close) BEGIN(name) push %ebx; mov 8(%esp), %eax; mov 12(%esp), %ebx; load(%eax); \
    mov 16(%esp), %eax; pushl 28(%esp); pushl 28(%esp); pushl 28(%esp); call *%eax; add $12, %esp; store(%ebx); close; pop %ebx; ret
#endif

    .text
HELPER(CallWithRegisters, LOAD_MMX_XMM, STORE_MMX_XMM, emms)
#if defined(__x86_64__)
HELPER(CallWithYmm, LOAD_YMM, STORE_YMM, vzeroupper)
HELPER(CallWithZmm, LOAD_ZMM, STORE_ZMM, vzeroupper)
#endif

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
