// Test support for the wide kernels (x86-64 only): call a kernel with known
// contents in ymm0..3 or zmm0..3 and capture those registers afterwards.
//
// void CallWithYmm(const void* in, void* out, void (*kernel)(void),
//                  uintptr_t a0, uintptr_t a1, uintptr_t a2);   // 4 x 32 bytes
// void CallWithZmm(...same...);                                 // 4 x 64 bytes
//
// in and out hold register k at k * width. The helper loads the four
// registers, calls kernel(a0, a1, a2), stores the four into out and ends with
// vzeroupper. On 64-bit Windows it gives rbx back as that ABI demands.

#define LOAD4(op, w, r, base) \
    op 0*w(base), %r##0; op 1*w(base), %r##1; op 2*w(base), %r##2; op 3*w(base), %r##3
#define STORE4(op, w, r, base) \
    op %r##0, 0*w(base); op %r##1, 1*w(base); op %r##2, 2*w(base); op %r##3, 3*w(base)

#if defined(_WIN32)
// rcx in, rdx out, r8 kernel, r9 a0, a1 and a2 on the stack
#  define HELPER(name, op, w, r) \
    .p2align 4; .globl name; .def name; .scl 2; .type 32; .endef; name: \
    .seh_proc name; push %rbx; .seh_pushreg %rbx; sub $32, %rsp; .seh_stackalloc 32; .seh_endprologue; \
    mov %rdx, %rbx; mov %r8, %rax; LOAD4(op, w, r, %rcx); \
    mov %r9, %rcx; mov 80(%rsp), %rdx; mov 88(%rsp), %r8; call *%rax; \
    STORE4(op, w, r, %rbx); vzeroupper; add $32, %rsp; pop %rbx; ret; .seh_endproc
#else
// rdi in, rsi out, rdx kernel, rcx a0, r8 a1, r9 a2
#  define HELPER(name, op, w, r) \
    .p2align 4; .globl name; .type name, @function; name: \
    push %rbx; mov %rsi, %rbx; mov %rdx, %rax; LOAD4(op, w, r, %rdi); \
    mov %rcx, %rdi; mov %r8, %rsi; mov %r9, %rdx; call *%rax; \
    STORE4(op, w, r, %rbx); vzeroupper; pop %rbx; ret
#endif

    .text
HELPER(CallWithYmm, vmovdqu, 32, ymm)
HELPER(CallWithZmm, vmovdqu64, 64, zmm)

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
