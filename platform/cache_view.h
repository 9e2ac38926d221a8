// The operating system's view of the caches, to cross-check what CPUID says.
#pragma once
#include <string>

#include "probe/topology.h"

// The operating system's view of the caches (the first logical processor's,
// sorted like ReadCacheTopology); false where none can be read (Windows build,
// no hwloc, or hwloc finds no cache).
bool ReadOsCacheTopology(CacheTopology* topology);
// "" when both agree on every data/unified level's size; otherwise one line
// naming the difference, without a "warning: " prefix (the report adds it).
std::string CompareCacheTopologies(const CacheTopology& processor, const CacheTopology& os);
