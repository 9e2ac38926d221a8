// The injected delay: a chain of dependent additions, sixteen per loop
// iteration, so that a delay of D core cycles is D / 16 iterations whatever
// the processor's clock. Every addition waits for the one before it (the same
// accumulator); the loop counter runs alongside as a chain of its own. A load
// fence ends the routine: without it the out-of-order core would run the
// caller's next loads and stores, or the next delay, alongside the chain and
// a short delay would cost almost nothing.
//
//   uint32_t RunDelayChain(uint32_t rounds);
//
// Runs rounds * 16 additions of 1 to a zeroed accumulator and returns it, so
// a caller can check the count. The addend is a register, not an immediate,
// so no processor can fold the additions at register renaming.
// Calling conventions as in probe/addition_chain.S: System V x86-64 (count in
// edi), Microsoft x86-64 (ecx), i686 cdecl (on the stack); only eax, ecx, edx
// and the argument register are used, all caller-saved.

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

        .text
BEGIN(RunDelayChain)
        ARGS
        xorl    %eax, %eax
        movl    $1, %edx
        testl   COUNT, COUNT
        jz      2f
        .p2align 4
1:      ADD8
        ADD8
        decl    COUNT
        jnz     1b
2:      lfence
        ret
END(RunDelayChain)

#if defined(__ELF__)
        .section .note.GNU-stack,"",@progbits
#endif
