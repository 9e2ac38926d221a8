// Reading the machine layout from an hwloc topology (the process's own, or a
// synthetic one in tests).
#pragma once
#include <hwloc.h>

#include "platform/survey/processors.h"

// Fills layout from topology: its PUs (hwloc keeps only the allowed ones),
// their cores and packages, and every data and unified cache object. A PU
// without a core counts as a core of its own; a machine without packages has
// one. False when the topology has no PU.
bool MachineLayoutFromHwloc(hwloc_topology_t topology, MachineLayout* layout);
