// Test support: call a kernel with known contents in its vector registers and
// capture those registers afterwards.
//
// void CallWithRegisters(const void* in, void* out, void (*kernel)(void),
//                        uintptr_t a0, uintptr_t a1, uintptr_t a2);
//
// in and out hold 192 bytes each: mm0..mm7 (8 bytes each) at 0..63, then
// xmm0..xmm7 (16 bytes each) at 64..191. The routine loads all sixteen
// registers from in, calls kernel(a0, a1, a2), stores all sixteen into out and
// ends with emms. A kernel of two arguments ignores the third. On 64-bit
// Windows it gives xmm6, xmm7 and rbx back to its caller as that ABI demands.

#if defined(_WIN32) && defined(__i386__)
#  define SYMBOL(name) _##name
#else
#  define SYMBOL(name) name
#endif

#define LOAD_ALL(base) \
    movq    0(base), %mm0;  movq    8(base), %mm1;  movq   16(base), %mm2;  movq   24(base), %mm3; \
    movq   32(base), %mm4;  movq   40(base), %mm5;  movq   48(base), %mm6;  movq   56(base), %mm7; \
    movdqu  64(base), %xmm0; movdqu  80(base), %xmm1; movdqu  96(base), %xmm2; movdqu 112(base), %xmm3; \
    movdqu 128(base), %xmm4; movdqu 144(base), %xmm5; movdqu 160(base), %xmm6; movdqu 176(base), %xmm7
#define STORE_ALL(base) \
    movq %mm0,  0(base);  movq %mm1,  8(base);  movq %mm2, 16(base);  movq %mm3, 24(base); \
    movq %mm4, 32(base);  movq %mm5, 40(base);  movq %mm6, 48(base);  movq %mm7, 56(base); \
    movdqu %xmm0,  64(base); movdqu %xmm1,  80(base); movdqu %xmm2,  96(base); movdqu %xmm3, 112(base); \
    movdqu %xmm4, 128(base); movdqu %xmm5, 144(base); movdqu %xmm6, 160(base); movdqu %xmm7, 176(base)

    .text
    .p2align 4
    .globl SYMBOL(CallWithRegisters)
SYMBOL(CallWithRegisters):
#if defined(__x86_64__) && defined(_WIN32)
    // rcx in, rdx out, r8 kernel, r9 a0, a1 and a2 on the stack
    .seh_proc CallWithRegisters
    push %rbx
    .seh_pushreg %rbx
    sub $64, %rsp             // home area of the callee, then xmm6 and xmm7
    .seh_stackalloc 64
    movups %xmm6, 32(%rsp)
    .seh_savexmm %xmm6, 32
    movups %xmm7, 48(%rsp)
    .seh_savexmm %xmm7, 48
    .seh_endprologue
    mov %rdx, %rbx
    mov %r8, %rax
    LOAD_ALL(%rcx)
    mov %r9, %rcx
    mov 112(%rsp), %rdx       // a1: 40 above the return address
    mov 120(%rsp), %r8        // a2
    call *%rax
    STORE_ALL(%rbx)
    emms
    movups 32(%rsp), %xmm6
    movups 48(%rsp), %xmm7
    add $64, %rsp
    pop %rbx
    ret
    .seh_endproc
#elif defined(__x86_64__)
    // rdi in, rsi out, rdx kernel, rcx a0, r8 a1, r9 a2
    push %rbx                 // keeps out; also aligns the stack for the call
    mov %rsi, %rbx
    mov %rdx, %rax
    LOAD_ALL(%rdi)
    mov %rcx, %rdi
    mov %r8, %rsi
    mov %r9, %rdx
    call *%rax
    STORE_ALL(%rbx)
    emms
    pop %rbx
    ret
#elif defined(__i386__)
    push %ebx
    mov 8(%esp), %eax         // in
    mov 12(%esp), %ebx        // out
    LOAD_ALL(%eax)
    mov 16(%esp), %eax        // kernel
    pushl 28(%esp)            // a2
    pushl 28(%esp)            // a1
    pushl 28(%esp)            // a0
    call *%eax
    add $12, %esp
    STORE_ALL(%ebx)
    emms
    pop %ebx
    ret
#endif

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
