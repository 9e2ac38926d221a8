// Which instruction sets the kernels may use: what the processor offers
// (CPUID) and, for the wide registers, what the operating system saves on a
// thread switch (XGETBV). A wide set counts only where both say yes.
#pragma once
#include <cstdint>

#include "probe/processor.h"

struct IsaSupport {
  bool mmx, sse, sse2, avx, avx2, avx512f, erms;
};

// CPUID leaf 1 (MMX, SSE, SSE2, OSXSAVE, AVX), leaf 7 sub-leaf 0 (AVX2,
// AVX-512F, ERMS) where leaf 0 says it exists, and XCR0 (ymm state: bits 1
// and 2; zmm state: bits 5, 6 and 7 as well), read only when OSXSAVE is set.
IsaSupport DetectIsaSupport();

// The instructions DetectIsaSupport uses; tests point them at recorded answers.
extern CpuidAnswer (*isaCpuid)(uint32_t leaf, uint32_t subleaf);
extern uint64_t (*readExtendedControlRegister)(uint32_t index);  // XGETBV
