// The wide transfer kernels (kernels_wide.S, x86-64 builds only, where
// LORVANTA_HAVE_WIDE_KERNELS is defined): 256-bit AVX and 512-bit AVX-512F
// loads and stores, and the string instructions. byteCount is cut down to a
// multiple of the kernel's step; a count below one step touches nothing.
// Vector kernels need pointers aligned to their register width (32 bytes for
// AVX, 64 for AVX-512), and may run only where DetectIsaSupport (probe/isa.h)
// reports their instruction set; the string routines run on every processor.
#pragma once
#include <cstdint>

extern "C" {
// 256-bit, AVX instructions only; four ymm registers per iteration.
void ReadAvx(const void* source, uint32_t byteCount);          // step 128
void ReadAvxPrefetch(const void* source, uint32_t byteCount);  // step 128, prefetcht0 512 bytes ahead
void WriteAvx(void* destination, uint32_t byteCount);              // step 128
void WriteAvxNonTemporal(void* destination, uint32_t byteCount);   // step 128
void CopyAvx(const void* source, void* destination, uint32_t byteCount);             // step 128
void CopyAvxNonTemporal(const void* source, void* destination, uint32_t byteCount);  // step 128

// 512-bit, AVX-512F; four zmm registers per iteration.
void ReadAvx512(const void* source, uint32_t byteCount);          // step 256
void ReadAvx512Prefetch(const void* source, uint32_t byteCount);  // step 256, prefetcht0 512 bytes ahead
void WriteAvx512(void* destination, uint32_t byteCount);              // step 256
void WriteAvx512NonTemporal(void* destination, uint32_t byteCount);   // step 256
void CopyAvx512(const void* source, void* destination, uint32_t byteCount);             // step 256
void CopyAvx512NonTemporal(const void* source, void* destination, uint32_t byteCount);  // step 256

// String instructions: any count, any alignment.
void CopyRepMovsb(const void* source, void* destination, uint32_t byteCount);  // step 1
void WriteRepStosb(void* destination, uint32_t byteCount);                     // step 1, stores the byte 0x5A
}
