// The operating system's view of the caches, to cross-check what CPUID says:
// a neutral record of its own, which the probe turns into its cache topology.
#pragma once
#include <cstdint>

enum OsCacheKind : uint32_t { OsCacheData = 1, OsCacheInstruction = 2, OsCacheUnified = 3 };

struct OsCache {
  uint32_t level;  // 1, 2, 3, ...
  OsCacheKind kind;
  uint64_t sizeBytes;
  uint32_t lineSize;      // bytes
  uint32_t ways;          // 0 = fully associative or unknown
  uint32_t sharedBy;      // logical processors sharing it (0 = unknown)
  bool fullyAssociative;  // tells the two meanings of ways == 0 apart
};

struct OsCacheView {
  OsCache caches[8];
  uint32_t count;
  const char* source;  // "hwloc"; "none" where the system's view is not read
};

// The caches that serve the first logical processor, by level, data before
// instruction; false where none can be read (Windows build, no hwloc, or
// hwloc finds no cache).
bool ReadOsCacheView(OsCacheView* view);
