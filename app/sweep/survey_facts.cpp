#include "app/sweep/survey_facts.h"

#include "platform/cache_view.h"
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
    record->caches.push_back(SurveyCache{"L" + std::to_string(levels[i].level), levels[i].sizeBytes,
                                         levels[i].lineSize, levels[i].sharedBy});
  record->supportedIsas = SurveyIsasOf(DetectIsaSupport());
  record->tscHz = MeasureClockFrequency();
  record->coreHz = MeasureCoreClockHz();
}
