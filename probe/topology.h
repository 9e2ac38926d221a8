// Every cache level of the processor, read from CPUID, for the survey.
#pragma once
#include <cstdint>
#include <string>

#include "probe/processor.h"

enum CacheKind : uint32_t { CacheData = 1, CacheInstruction = 2, CacheUnified = 3 };

struct CacheLevelInfo {
  uint32_t level;     // 1, 2, 3, ...
  CacheKind kind;
  uint64_t sizeBytes;
  uint32_t lineSize;  // bytes
  uint32_t ways;      // 0 = fully associative or unknown
  uint32_t sharedBy;  // logical processors sharing it (0 = unknown)
  bool fullyAssociative;  // tells the two meanings of ways == 0 apart
};

struct CacheTopology {
  CacheLevelInfo caches[8];
  uint32_t count;
  const char* source;  // which CPUID leaf gave it, e.g. "CPUID leaf 4"; "none" when no leaf did
};

// CPUID with a sub-leaf; tests point it at recorded answers (a table keyed by leaf and sub-leaf).
extern CpuidAnswer (*executeCpuidSubleaf)(uint32_t leaf, uint32_t subleaf);
CpuidAnswer ExecuteCpuidSubleafInstruction(uint32_t leaf, uint32_t subleaf);

// Every cache level of the processor, from CPUID: leaf 0x8000001D on AMD (and
// Hygon) with topology extensions, otherwise 0x80000005/6 there (the L3 from
// 0x80000006 EDX); leaf 4 on every other vendor, otherwise the leaf-2
// descriptors. Sorted by level, data before instruction before unified.
CacheTopology ReadCacheTopology();

// The data and unified caches in level order (what a bandwidth survey
// measures): the instruction caches left out. Returns how many were written.
uint32_t DataCacheLevels(const CacheTopology& topology, CacheLevelInfo* out, uint32_t capacity);

// The operating system's view of the caches (the first logical processor's,
// sorted like ReadCacheTopology); false where none can be read (Windows build,
// no hwloc, or hwloc finds no cache).
bool ReadOsCacheTopology(CacheTopology* topology);
// "" when both agree on every data/unified level's size; otherwise one line
// naming the difference, without a "warning: " prefix (the report adds it).
std::string CompareCacheTopologies(const CacheTopology& processor, const CacheTopology& os);

// "L1d 32 KiB, 8-way, 64 B lines, shared by 1": one cache, for reports.
std::string DescribeCache(const CacheLevelInfo& cache);
// A size as reports print it: "512 B", "48 KiB", "32 MiB" (KiB when not whole MiB).
std::string FormatExactSize(uint64_t bytes);

// Leaf-2 descriptor bytes that name a cache ---------------------------------

// The cache one descriptor byte names; false for TLB, trace-cache, prefetch,
// "no cache" and unknown bytes.
bool CacheFromDescriptor(uint8_t descriptor, CacheLevelInfo* cache);
