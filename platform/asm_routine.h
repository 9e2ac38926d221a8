// Included by the assembly files: a routine's entry and end for the object
// format at hand (ELF on Linux, PE/COFF on Windows). C symbols carry a
// leading underscore on 32-bit Windows. Every entry sits on a 16-byte
// boundary.
#ifndef LORVANTA_ASM_ROUTINE_H
#define LORVANTA_ASM_ROUTINE_H

#if defined(_WIN32) && defined(__i386__)
#  define SYMBOL(name) _##name
#else
#  define SYMBOL(name) name
#endif
#if defined(_WIN32)
#  define BEGIN(name) .p2align 4; .globl SYMBOL(name); \
     .def SYMBOL(name); .scl 2; .type 32; .endef; SYMBOL(name):
#  define END(name)
#else
#  define BEGIN(name) .p2align 4; .globl name; .type name, @function; name:
#  define END(name) .size name, . - name
#endif
#endif
