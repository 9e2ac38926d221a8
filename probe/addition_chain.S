// The addition chain that times the core clock: every addition depends on the
// one before (the same accumulator), so each takes one core cycle and the
// chain's length in cycles is known. The loop counter is a second, independent
// chain that runs alongside and costs nothing on the critical path.
//
//   uint32_t RunAdditionChain(uint32_t iterations);
//
// Runs iterations * 64 additions of 1 to a zeroed accumulator and returns it,
// so a caller can check the count. The addend is a register, not an immediate,
// so no processor can fold the additions at register renaming.
// Calling conventions as in measure/kernels.S: System V x86-64 (count in edi),
// Microsoft x86-64 (ecx), i686 cdecl (on the stack); only eax, ecx and edx and
// the argument register are used, all caller-saved.

#if defined(__x86_64__) && defined(_WIN32)
#  define COUNT %ecx
#  define ARGS
#elif defined(__x86_64__)
#  define COUNT %edi
#  define ARGS
#elif defined(__i386__)
#  define COUNT %ecx
#  define ARGS movl 4(%esp), COUNT
#else
#  error "x86 only"
#endif

#include "platform/asm_routine.h"

#define ADD8 addl %edx, %eax; addl %edx, %eax; addl %edx, %eax; addl %edx, %eax; \
             addl %edx, %eax; addl %edx, %eax; addl %edx, %eax; addl %edx, %eax
#define ADD64 ADD8; ADD8; ADD8; ADD8; ADD8; ADD8; ADD8; ADD8

        .text
BEGIN(RunAdditionChain)
        ARGS
        xorl    %eax, %eax
        movl    $1, %edx
        testl   COUNT, COUNT
        jz      2f
        .p2align 4
1:      ADD64
        decl    COUNT
        jnz     1b
2:      ret
END(RunAdditionChain)

#if defined(__ELF__)
        .section .note.GNU-stack,"",@progbits
#endif
