// Linux binding of the machine layout, through hwloc.
#include "platform/posix/machine_layout_hwloc.h"

#include <algorithm>
#include <map>

#include "platform/posix/hwloc_topology.h"

namespace {
// Data and unified caches; the instruction caches have types of their own.
const hwloc_obj_type_t dataCacheTypes[] = {HWLOC_OBJ_L1CACHE, HWLOC_OBJ_L2CACHE, HWLOC_OBJ_L3CACHE,
                                           HWLOC_OBJ_L4CACHE, HWLOC_OBJ_L5CACHE};

// Dense indices 0, 1, ... in order of first appearance.
uint32_t DenseIndex(std::map<uint64_t, uint32_t>& indices, uint64_t key) {
  auto found = indices.find(key);
  if (found != indices.end()) return found->second;
  const uint32_t index = static_cast<uint32_t>(indices.size());
  indices[key] = index;
  return index;
}
}  // namespace

bool MachineLayoutFromHwloc(hwloc_topology_t topology, MachineLayout* layout) {
  layout->processors.clear();
  layout->caches.clear();
  layout->source = "hwloc";
  std::map<uint64_t, uint32_t> cores, packages;
  // Core keys above 2^32 stand for PUs that have no core object.
  const uint64_t ownCore = uint64_t{1} << 32;
  for (hwloc_obj_t pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, nullptr); pu != nullptr;
       pu = hwloc_get_next_obj_by_type(topology, HWLOC_OBJ_PU, pu)) {
    const hwloc_obj_t core = hwloc_get_ancestor_obj_by_type(topology, HWLOC_OBJ_CORE, pu);
    const hwloc_obj_t package = hwloc_get_ancestor_obj_by_type(topology, HWLOC_OBJ_PACKAGE, pu);
    LayoutProcessor processor;
    processor.osNumber = pu->os_index;
    processor.core = DenseIndex(cores, core != nullptr ? core->logical_index : ownCore + pu->logical_index);
    processor.package = DenseIndex(packages, package != nullptr ? package->logical_index : 0);
    layout->processors.push_back(processor);
  }
  std::sort(layout->processors.begin(), layout->processors.end(),
            [](const LayoutProcessor& a, const LayoutProcessor& b) { return a.osNumber < b.osNumber; });
  for (hwloc_obj_type_t type : dataCacheTypes) {
    for (hwloc_obj_t object = hwloc_get_next_obj_by_type(topology, type, nullptr); object != nullptr;
         object = hwloc_get_next_obj_by_type(topology, type, object)) {
      if (object->attr == nullptr || object->cpuset == nullptr) continue;
      LayoutCache cache;
      cache.level = object->attr->cache.depth;
      cache.sizeBytes = object->attr->cache.size;
      cache.lineSize = object->attr->cache.linesize;
      // The cpuset's bits are the PUs' OS numbers.
      for (int bit = hwloc_bitmap_first(object->cpuset); bit >= 0; bit = hwloc_bitmap_next(object->cpuset, bit))
        cache.processors.push_back(static_cast<uint32_t>(bit));
      cache.sharedBy = static_cast<uint32_t>(cache.processors.size());
      if (!cache.processors.empty()) layout->caches.push_back(cache);
    }
  }
  return !layout->processors.empty();
}

bool ReadMachineLayout(MachineLayout* layout, std::string* error) {
  const hwloc_topology_t topology = LoadedHwlocTopology();
  if (topology == nullptr) {
    *error = "hwloc cannot load the machine's topology";
    return false;
  }
  if (!MachineLayoutFromHwloc(topology, layout)) {
    *error = "hwloc finds no logical processor";
    return false;
  }
  // Only the processors the process may run on (taskset, cpusets): a thread
  // bound elsewhere would run where the user did not allow it.
  const hwloc_bitmap_t allowed = hwloc_bitmap_alloc();
  if (allowed != nullptr && hwloc_get_cpubind(topology, allowed, HWLOC_CPUBIND_PROCESS) == 0) {
    std::vector<LayoutProcessor>& processors = layout->processors;
    processors.erase(std::remove_if(processors.begin(), processors.end(),
                                    [&](const LayoutProcessor& processor) {
                                      return !hwloc_bitmap_isset(allowed, processor.osNumber);
                                    }),
                     processors.end());
  }
  hwloc_bitmap_free(allowed);
  if (layout->processors.empty()) {
    *error = "no processor of the process's binding is in hwloc's topology";
    return false;
  }
  return true;
}
