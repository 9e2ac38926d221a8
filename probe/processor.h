// Processor and cache detection, and the two test buffers every kernel works on.
#pragma once
#include <cstdint>

struct CpuidAnswer {
  uint32_t eax, ebx, ecx, edx;
};

// Executes CPUID for a leaf (sub-leaf 0). Points at the real instruction; tests
// point it at recorded answers of real processors.
extern CpuidAnswer (*executeCpuid)(uint32_t leaf);
CpuidAnswer ExecuteCpuidInstruction(uint32_t leaf);

// Vendor, cache sizes and SSE/SSE2 into the measurement state, then the buffers.
void ProbeProcessor();
// Cache sizes from the descriptor bytes of CPUID leaf 2 (every vendor but AMD).
void DecodeCacheDescriptors();

// Sizes found in one leaf-2 answer; a size is 0 until a descriptor sets it.
struct CacheSizesKiB {
  uint32_t l1;
  uint32_t l2;
};
// Decodes one answer on top of what earlier answers found: the last hit wins.
void DecodeDescriptorAnswer(const CpuidAnswer& answer, CacheSizesKiB* sizes);
// The descriptor bytes of one leaf-2 answer in register order (EAX, EBX, ECX,
// EDX, low byte first): registers with bit 31 set and the count byte of EAX are
// skipped, zero bytes kept. Returns how many were written (at most 15).
uint32_t DescriptorBytes(const CpuidAnswer& answer, uint8_t bytes[15]);

// Reads the vendor text of leaf 0 into 13 characters (12 and a terminator).
void ReadVendorText(char vendor[13]);

// (Re)commits both buffers at max(testAreaSize, 2 * l2CacheSize) bytes. On any
// failure both pointers are null and testBufferSize is 0.
void AllocateTestBuffers();
void ReleaseTestBuffers();
// The commits the buffers use; tests point them at failing ones.
extern void* (*commitSourcePages)(uint32_t byteCount);
extern void* (*commitDestinationPages)(uint32_t byteCount);
// Size the buffers must have for the current settings and facts.
uint64_t TestBufferSize();
