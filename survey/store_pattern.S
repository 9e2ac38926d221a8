// FillMmxStoreRegisters sets mm0-mm7 to all ones and ends the MMX state with
// emms (the values stay); FillXmmStoreRegisters sets xmm0-xmm5 to all ones
// with SSE instructions only. The write kernels store what their
// registers hold; loaded with this before they are timed, they never store
// all-zero cache lines, which some machines move to memory faster than any
// other data (a zero memset measured twice the memory rate of a 0x5A one
// here). xmm6 and xmm7 are the caller's on 64-bit Windows and stay as they
// are; every 64-byte line a kernel stores still holds some of xmm0-xmm5.
//
//   void FillMmxStoreRegisters(void);
//   void FillXmmStoreRegisters(void);

#include "platform/asm_routine.h"

    .text
BEGIN(FillMmxStoreRegisters)
    pcmpeqb %mm0, %mm0
    pcmpeqb %mm1, %mm1
    pcmpeqb %mm2, %mm2
    pcmpeqb %mm3, %mm3
    pcmpeqb %mm4, %mm4
    pcmpeqb %mm5, %mm5
    pcmpeqb %mm6, %mm6
    pcmpeqb %mm7, %mm7
    emms
    ret
END(FillMmxStoreRegisters)

// 0 == 0 in every lane: all ones.
BEGIN(FillXmmStoreRegisters)
    xorps %xmm0, %xmm0
    cmpeqps %xmm0, %xmm0
    movaps %xmm0, %xmm1
    movaps %xmm0, %xmm2
    movaps %xmm0, %xmm3
    movaps %xmm0, %xmm4
    movaps %xmm0, %xmm5
    ret
END(FillXmmStoreRegisters)

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
