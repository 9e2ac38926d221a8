#include "app/sweep/survey_facts.h"

#include "platform/survey/processors.h"
#include "survey/placement.h"

#include <thread>
#include "probe/clock.h"
#include "probe/core_clock.h"
#include "probe/topology.h"
#include "probe/isa.h"
#include "probe/processor.h"

void ProbeSurveyMachine(SurveyRecord* record, SurveyFacts* facts) {
  char vendor[13];
  ReadVendorText(vendor);
  facts->vendor = vendor;
  // The processor's answer counts; the system's view only warns.
  const CacheTopology topology = ReadCacheTopology();
  facts->topologySource = topology.source;
  facts->cacheLines.clear();
  for (uint32_t i = 0; i < topology.count; ++i) facts->cacheLines += "  " + DescribeCache(topology.caches[i]) + "\n";
  CacheTopology system;
  if (ReadOsCacheTopology(&system)) facts->topologyWarning = CompareCacheTopologies(topology, system);
  CacheLevelInfo levels[8];
  const uint32_t levelCount = DataCacheLevels(topology, levels, 8);
  record->caches.clear();
  for (uint32_t i = 0; i < levelCount; ++i)
    record->caches.push_back(SurveyCache{"L" + std::to_string(levels[i].level), levels[i].level, levels[i].sizeBytes,
                                         levels[i].lineSize, levels[i].sharedBy});
  record->supportedIsas = SurveyIsasOf(DetectIsaSupport());
  record->tscHz = MeasureClockFrequency();
  record->coreHz = MeasureCoreClockHz();
}

MachineLayout ProbeMachineLayout(const SurveyRecord& record, SurveyFacts* facts) {
  MachineLayout layout;
  std::string why;
  if (ReadMachineLayout(&layout, &why) && !layout.processors.empty()) {
    facts->layoutSource = layout.source;
    return layout;
  }
  std::vector<CountedCache> counted;
  for (const SurveyCache& cache : record.caches)
    counted.push_back(CountedCache{cache.level, cache.sizeBytes, cache.lineSize, cache.sharedBy});
  const uint32_t processors = std::thread::hardware_concurrency();
  facts->layoutSource = "CPUID's counts (the system gave no layout" + (why.empty() ? std::string() : ": " + why) + ")";
  return MachineLayoutFromCpuid(counted, processors == 0 ? 1 : processors);
}
