// The machine's topology through hwloc, loaded once for the process and kept
// (the caches' view and the threads' binding both read it).
#pragma once
#include <hwloc.h>

// Null when hwloc cannot load it.
hwloc_topology_t LoadedHwlocTopology();
