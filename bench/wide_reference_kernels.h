// Reference loops for the wide kernels, written with AVX and AVX-512F
// compiler intrinsics: aligned loads, ordinary and non-temporal stores, as the
// compiler builds them. Each is compiled for its instruction set alone (a
// function target attribute) and may run only where that set is supported.
//
// byteCount must be a multiple of 256, both pointers 64-byte aligned.
#pragma once
#include <cstdint>

// Loads every byte of the block; returns an OR of everything loaded.
uint64_t ReferenceReadAvx(const void* source, uint32_t byteCount);
uint64_t ReferenceReadAvx512(const void* source, uint32_t byteCount);
// Store 64 different non-zero bytes in every 64-byte line (some processors
// move zero lines to memory faster); the non-temporal forms end with a store
// fence.
void ReferenceWriteAvx(void* destination, uint32_t byteCount);
void ReferenceWriteAvxNonTemporal(void* destination, uint32_t byteCount);
void ReferenceWriteAvx512(void* destination, uint32_t byteCount);
void ReferenceWriteAvx512NonTemporal(void* destination, uint32_t byteCount);
// Copy with aligned loads and ordinary or non-temporal stores.
void ReferenceCopyAvx(const void* source, void* destination, uint32_t byteCount);
void ReferenceCopyAvxNonTemporal(const void* source, void* destination, uint32_t byteCount);
void ReferenceCopyAvx512(const void* source, void* destination, uint32_t byteCount);
void ReferenceCopyAvx512NonTemporal(const void* source, void* destination, uint32_t byteCount);
// The C library's memcpy and memset, the references of the string routines.
void ReferenceMemcpy(const void* source, void* destination, uint32_t byteCount);
void ReferenceMemset(void* destination, uint32_t byteCount);
