// Reference transfer loops written with SSE2 compiler intrinsics, independent
// of the assembly kernels: the same classes of work (aligned 16-byte loads,
// ordinary and non-temporal stores, prefetching) as the compiler builds them.
// They give a yardstick for what the kernels and the sweep ought to reach.
//
// byteCount must be a multiple of 128, both pointers 16-byte aligned.
#pragma once
#include <cstdint>

// Loads every 16 bytes of the block; returns an OR of everything loaded so
// that the loads cannot be dropped.
uint64_t ReferenceRead(const void* source, uint32_t byteCount);
// As ReferenceRead, with a non-temporal prefetch 256 bytes ahead.
uint64_t ReferenceReadPrefetch(const void* source, uint32_t byteCount);
// Stores a fixed 16-byte pattern over the block, ordinary or non-temporal
// (the non-temporal forms end with a store fence).
void ReferenceWrite(void* destination, uint32_t byteCount);
void ReferenceWriteNonTemporal(void* destination, uint32_t byteCount);
// Copies the block with aligned loads and ordinary or non-temporal stores.
void ReferenceCopy(const void* source, void* destination, uint32_t byteCount);
void ReferenceCopyNonTemporal(const void* source, void* destination, uint32_t byteCount);
