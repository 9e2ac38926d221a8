// The wide transfer kernels (kernels_wide.S, x86-64 builds only, where
// LORVANTA_HAVE_WIDE_KERNELS is defined): 256-bit AVX and 512-bit AVX-512F
// loads and stores, and the string instructions. byteCount is cut down to a
// multiple of the kernel's step (see the registry, kernel_registry.h); a
// count below one step touches nothing.
// Vector kernels need pointers aligned to their register width (32 bytes for
// AVX, 64 for AVX-512), and may run only where DetectIsaSupport (probe/isa.h)
// reports their instruction set; the string routines run on every processor.
#pragma once
#include <cstdint>

extern "C" {
// 256-bit, AVX instructions only.
void ReadAvx(const void* source, uint32_t byteCount);
void ReadAvxPrefetch(const void* source, uint32_t byteCount);
void WriteAvx(void* destination, uint32_t byteCount);
void WriteAvxNonTemporal(void* destination, uint32_t byteCount);
void CopyAvx(const void* source, void* destination, uint32_t byteCount);
void CopyAvxNonTemporal(const void* source, void* destination, uint32_t byteCount);

// 512-bit, AVX-512F.
void ReadAvx512(const void* source, uint32_t byteCount);
void ReadAvx512Prefetch(const void* source, uint32_t byteCount);
void WriteAvx512(void* destination, uint32_t byteCount);
void WriteAvx512NonTemporal(void* destination, uint32_t byteCount);
void CopyAvx512(const void* source, void* destination, uint32_t byteCount);
void CopyAvx512NonTemporal(const void* source, void* destination, uint32_t byteCount);

// String instructions: any count, any alignment.
void CopyRepMovsb(const void* source, void* destination, uint32_t byteCount);
void WriteRepStosb(void* destination, uint32_t byteCount);  // stores the byte 0x5A
}
