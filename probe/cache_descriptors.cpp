// The leaf-2 descriptor bytes that name a cache, with level, kind, size,
// associativity and line size as the Intel manual lists them. TLB,
// trace-cache and prefetch descriptors are not caches of data and are left out.
#include "probe/topology.h"

namespace {
struct DescriptorCache {
  uint8_t byte;
  uint8_t level;
  CacheKind kind;
  uint32_t kib;
  uint8_t ways;
  uint8_t lineSize;
};

const DescriptorCache descriptorCaches[] = {
    {0x06, 1, CacheInstruction, 8, 4, 32},   {0x08, 1, CacheInstruction, 16, 4, 32},
    {0x09, 1, CacheInstruction, 32, 4, 64},  {0x0A, 1, CacheData, 8, 2, 32},
    {0x0C, 1, CacheData, 16, 4, 32},         {0x0D, 1, CacheData, 16, 4, 64},
    {0x0E, 1, CacheData, 24, 6, 64},         {0x1D, 2, CacheUnified, 128, 2, 64},
    {0x21, 2, CacheUnified, 256, 8, 64},     {0x22, 3, CacheUnified, 512, 4, 64},
    {0x23, 3, CacheUnified, 1024, 8, 64},    {0x24, 2, CacheUnified, 1024, 16, 64},
    {0x25, 3, CacheUnified, 2048, 8, 64},    {0x29, 3, CacheUnified, 4096, 8, 64},
    {0x2C, 1, CacheData, 32, 8, 64},         {0x30, 1, CacheInstruction, 32, 8, 64},
    {0x41, 2, CacheUnified, 128, 4, 32},     {0x42, 2, CacheUnified, 256, 4, 32},
    {0x43, 2, CacheUnified, 512, 4, 32},     {0x44, 2, CacheUnified, 1024, 4, 32},
    {0x45, 2, CacheUnified, 2048, 4, 32},    {0x46, 3, CacheUnified, 4096, 4, 64},
    {0x47, 3, CacheUnified, 8192, 8, 64},    {0x48, 2, CacheUnified, 3072, 12, 64},
    // 0x49 is an L3 only on the Xeon MP of family 15 model 6; everywhere else
    // (Core 2 among them) the second level, as the exact sweep also reads it.
    {0x49, 2, CacheUnified, 4096, 16, 64},   {0x4A, 3, CacheUnified, 6144, 12, 64},
    {0x4B, 3, CacheUnified, 8192, 16, 64},   {0x4C, 3, CacheUnified, 12288, 12, 64},
    {0x4D, 3, CacheUnified, 16384, 16, 64},  {0x4E, 2, CacheUnified, 6144, 24, 64},
    {0x60, 1, CacheData, 16, 8, 64},         {0x66, 1, CacheData, 8, 4, 64},
    {0x67, 1, CacheData, 16, 4, 64},         {0x68, 1, CacheData, 32, 4, 64},
    {0x78, 2, CacheUnified, 1024, 4, 64},    {0x79, 2, CacheUnified, 128, 8, 64},
    {0x7A, 2, CacheUnified, 256, 8, 64},     {0x7B, 2, CacheUnified, 512, 8, 64},
    {0x7C, 2, CacheUnified, 1024, 8, 64},    {0x7D, 2, CacheUnified, 2048, 8, 64},
    {0x7F, 2, CacheUnified, 512, 2, 64},     {0x80, 2, CacheUnified, 512, 8, 64},
    {0x82, 2, CacheUnified, 256, 8, 32},     {0x83, 2, CacheUnified, 512, 8, 32},
    {0x84, 2, CacheUnified, 1024, 8, 32},    {0x85, 2, CacheUnified, 2048, 8, 32},
    {0x86, 2, CacheUnified, 512, 4, 64},     {0x87, 2, CacheUnified, 1024, 8, 64},
    {0xD0, 3, CacheUnified, 512, 4, 64},     {0xD1, 3, CacheUnified, 1024, 4, 64},
    {0xD2, 3, CacheUnified, 2048, 4, 64},    {0xD6, 3, CacheUnified, 1024, 8, 64},
    {0xD7, 3, CacheUnified, 2048, 8, 64},    {0xD8, 3, CacheUnified, 4096, 8, 64},
    {0xDC, 3, CacheUnified, 1536, 12, 64},   {0xDD, 3, CacheUnified, 3072, 12, 64},
    {0xDE, 3, CacheUnified, 6144, 12, 64},   {0xE2, 3, CacheUnified, 2048, 16, 64},
    {0xE3, 3, CacheUnified, 4096, 16, 64},   {0xE4, 3, CacheUnified, 8192, 16, 64},
    {0xEA, 3, CacheUnified, 12288, 24, 64},  {0xEB, 3, CacheUnified, 18432, 24, 64},
    {0xEC, 3, CacheUnified, 24576, 24, 64},
};
}  // namespace

bool CacheFromDescriptor(uint8_t descriptor, CacheLevelInfo* cache) {
  for (const DescriptorCache& entry : descriptorCaches) {
    if (entry.byte != descriptor) continue;
    *cache = CacheLevelInfo{entry.level, entry.kind, static_cast<uint64_t>(entry.kib) * 1024, entry.lineSize,
                            entry.ways, 0, false};
    return true;
  }
  return false;
}
