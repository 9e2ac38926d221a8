// Linux binding of the thread placement, through hwloc: cores and their
// hardware threads from the topology, binding with hwloc_set_cpubind.
#include "platform/cpu_binding.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/posix/hwloc_topology.h"

hwloc_topology_t LoadedHwlocTopology() {
  static std::once_flag loaded;
  static hwloc_topology_t topology = nullptr;
  std::call_once(loaded, [] {
    if (hwloc_topology_init(&topology) != 0) return;
    if (hwloc_topology_load(topology) != 0) {
      hwloc_topology_destroy(topology);
      topology = nullptr;
    }
  });
  return topology;
}

std::vector<uint32_t> ProcessorsInBindingOrder() {
  std::vector<uint32_t> order;
  hwloc_topology_t system = LoadedHwlocTopology();
  if (system == nullptr) return order;
  const int cores = hwloc_get_nbobjs_by_type(system, HWLOC_OBJ_CORE);
  // Round r takes the r-th hardware thread of each core.
  for (unsigned round = 0;; ++round) {
    bool any = false;
    for (int c = 0; c < cores; ++c) {
      hwloc_obj_t core = hwloc_get_obj_by_type(system, HWLOC_OBJ_CORE, static_cast<unsigned>(c));
      hwloc_obj_t thread = hwloc_get_obj_inside_cpuset_by_type(system, core->cpuset, HWLOC_OBJ_PU, round);
      if (thread == nullptr) continue;
      order.push_back(thread->os_index);
      any = true;
    }
    if (!any) break;
  }
  return order;
}

bool BindCurrentThread(uint32_t processor, std::string* error) {
  hwloc_topology_t system = LoadedHwlocTopology();
  hwloc_obj_t thread = system == nullptr ? nullptr : hwloc_get_pu_obj_by_os_index(system, processor);
  if (thread == nullptr) {
    *error = "processor " + std::to_string(processor) + " is not in the topology";
    return false;
  }
  if (hwloc_set_cpubind(system, thread->cpuset, HWLOC_CPUBIND_THREAD) != 0) {
    *error = "binding to processor " + std::to_string(processor) + " failed: " + std::strerror(errno);
    return false;
  }
  return true;
}
