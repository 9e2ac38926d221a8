// Linux binding of a thread to a processor through hwloc_set_cpubind, the
// processor a thread runs on (sched_getcpu), and the process's hwloc
// topology, loaded once.
#include "platform/survey/processors.h"

#include <sched.h>

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

int32_t CurrentProcessor() { return sched_getcpu(); }
