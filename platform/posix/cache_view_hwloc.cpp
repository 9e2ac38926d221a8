// The operating system's view of the caches through hwloc (on Linux it reads
// what the kernel reports in sysfs).
#include <algorithm>

#include "platform/survey/cache_view.h"
#include "platform/posix/hwloc_topology.h"

namespace {
OsCacheKind KindOf(hwloc_obj_cache_type_t type) {
  if (type == HWLOC_OBJ_CACHE_DATA) return OsCacheData;
  if (type == HWLOC_OBJ_CACHE_INSTRUCTION) return OsCacheInstruction;
  return OsCacheUnified;
}

// By level, data before instruction, the order the probe sorts its own in.
const hwloc_obj_type_t cacheTypes[] = {HWLOC_OBJ_L1CACHE,  HWLOC_OBJ_L1ICACHE, HWLOC_OBJ_L2CACHE,
                                       HWLOC_OBJ_L2ICACHE, HWLOC_OBJ_L3CACHE,  HWLOC_OBJ_L3ICACHE,
                                       HWLOC_OBJ_L4CACHE,  HWLOC_OBJ_L5CACHE};
}  // namespace

bool ReadOsCacheView(OsCacheView* view) {
  view->count = 0;
  view->source = "hwloc";
  const hwloc_topology_t handle = LoadedHwlocTopology();
  if (handle == nullptr) return false;
  const uint32_t capacity = sizeof(view->caches) / sizeof(view->caches[0]);
  for (hwloc_obj_type_t type : cacheTypes) {
    // The cache of this kind that serves the first logical processor.
    const hwloc_obj_t cache = hwloc_get_obj_by_type(handle, type, 0);
    if (cache == nullptr || cache->attr == nullptr || view->count == capacity) continue;
    const auto& attr = cache->attr->cache;
    const int ways = attr.associativity;  // -1 fully associative, 0 unknown
    view->caches[view->count++] = OsCache{
        attr.depth,
        KindOf(attr.type),
        attr.size,
        attr.linesize,
        ways > 0 ? static_cast<uint32_t>(ways) : 0u,
        cache->cpuset ? static_cast<uint32_t>(std::max(0, hwloc_bitmap_weight(cache->cpuset))) : 0u,
        ways == -1};
  }
  return view->count > 0;
}
