// The transfer kernels: each a fixed instruction sequence written in assembly
// (kernels.S), so that the measured rate is the rate of exactly that sequence.
// byteCount is cut down to a multiple of the kernel's step; each kernel's
// step, registers, prefetches, stores and closing instruction: see the
// registry (kernel_registry.h). SSE and SSE2 kernels need 16-byte aligned
// pointers.
#pragma once
#include <cstdint>

extern "C" {
// Read kernels: load the block and discard what they load.
void ReadMmx(const void* source, uint32_t byteCount);
void ReadMmxPrefetch(const void* source, uint32_t byteCount);
void ReadSse(const void* source, uint32_t byteCount);
void ReadSsePrefetch(const void* source, uint32_t byteCount);
void ReadSse2(const void* source, uint32_t byteCount);
void ReadSse2Prefetch(const void* source, uint32_t byteCount);

// Write kernels: store whatever the registers hold.
void WriteMmx(void* destination, uint32_t byteCount);
void WriteMmxNonTemporal(void* destination, uint32_t byteCount);
void WriteSse(void* destination, uint32_t byteCount);
void WriteSseNonTemporal(void* destination, uint32_t byteCount);
void WriteSse2(void* destination, uint32_t byteCount);
void WriteSse2NonTemporal(void* destination, uint32_t byteCount);

// Copy kernels: the destination range ends equal to the source range.
void CopyMmx(const void* source, void* destination, uint32_t byteCount);
void CopyMmxNonTemporal(const void* source, void* destination, uint32_t byteCount);
void CopySseNonTemporal(const void* source, void* destination, uint32_t byteCount);
void CopySse2(const void* source, void* destination, uint32_t byteCount);

// Warm-ups and calibration.
void WarmCache(const void* buffer, uint32_t byteCount);  // loads every 8-byte slot, with prefetch
void TouchBuffer(void* buffer, uint32_t byteCount);      // one zero byte in every 8 bytes
void EmptyKernel(void);                                  // returns at once; a real call
}
