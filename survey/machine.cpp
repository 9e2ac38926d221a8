#include "survey/machine.h"

#include <set>
#include <thread>

#include "probe/clock.h"
#include "probe/core_clock.h"
#include "probe/isa.h"
#include "probe/processor.h"
#include "probe/processor_identity.h"
#include "probe/topology.h"
#include "survey/kernel_table.h"
#include "survey/placement.h"

namespace {
// The system's layout, or one from CPUID's counts where it gives none.
void ProbeLayout(SurveyMachine* machine) {
  std::string why;
  if (ReadMachineLayout(&machine->layout, &why) && !machine->layout.processors.empty()) {
    machine->layoutSource = machine->layout.source;
    return;
  }
  std::vector<CountedCache> counted;
  for (const SurveyCache& cache : machine->caches)
    counted.push_back(CountedCache{cache.level, cache.sizeBytes, cache.lineSize, cache.sharedBy});
  const uint32_t processors = std::thread::hardware_concurrency();
  machine->layout = MachineLayoutFromCpuid(counted, processors == 0 ? 1 : processors);
  machine->layoutSource = "CPUID's counts (the system gave no layout" + (why.empty() ? std::string() : ": " + why) + ")";
}

// Who the processor is, what the system says of itself, and the cores of
// the layout's processors.
void ReadContext(SurveyMachine* machine) {
  machine->identity = DecodeProcessorIdentity(executeCpuid);
  if (machine->identity.brand.empty()) machine->brandWhy = "the processor has no brand string (CPUID 0x80000002-4)";
  if (machine->identity.hypervisor.empty()) machine->hypervisorWhy = "CPUID's hypervisor bit is clear";
  machine->system = ReadSystemContext();
  std::set<uint32_t> cores;
  for (const LayoutProcessor& processor : machine->layout.processors) cores.insert(processor.core);
  machine->cores = static_cast<uint32_t>(cores.size());
}
}  // namespace

SurveyMachine ProbeSurveyMachine() {
  SurveyMachine machine;
  // The processor's answer counts; the system's view only warns.
  const CacheTopology topology = ReadCacheTopology();
  machine.cacheSource = topology.source;
  for (uint32_t i = 0; i < topology.count; ++i) machine.cacheDescriptions.push_back(DescribeCache(topology.caches[i]));
  CacheTopology system;
  if (ReadOsCacheTopology(&system)) machine.cacheWarning = CompareCacheTopologies(topology, system);
  CacheLevelInfo levels[8];
  const uint32_t levelCount = DataCacheLevels(topology, levels, 8);
  for (uint32_t i = 0; i < levelCount; ++i)
    machine.caches.push_back(SurveyCache{"L" + std::to_string(levels[i].level), levels[i].level, levels[i].sizeBytes,
                                         levels[i].lineSize, levels[i].sharedBy});
  ProbeLayout(&machine);
  ReadContext(&machine);
  machine.supportedIsas = SurveyIsasOf(DetectIsaSupport());
  machine.tscHz = MeasureClockFrequency();
  machine.coreHz = MeasureCoreClockHz();
  return machine;
}
