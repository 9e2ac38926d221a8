// A run's placement over the machine's layout, in the terms of the survey's caches.
#include "survey/survey.h"

bool PlaceSurveyRun(const MachineLayout& layout, const std::vector<SurveyCache>& caches, uint32_t threads, bool bind,
                    SurveyPlacement* placement, std::string* error) {
  *placement = SurveyPlacement();
  placement->threadCount = threads;
  CacheShareReport report;
  if (bind) {
    ThreadPlacement placed;
    if (!PlaceThreads(layout, threads, &placed, error)) return false;
    placement->bound = true;
    placement->threads = placed.threads;
    placement->sharesCores = placed.sharesCores;
    report = CacheShares(layout, placed);
  } else {
    report = UnboundCacheShares(layout, threads);
  }
  placement->sharesFromCounts = report.fallback;
  for (const SurveyCache& cache : caches) {
    const CacheLevelShare* found = nullptr;
    for (const CacheLevelShare& level : report.levels)
      if (level.level == cache.level) found = &level;
    if (found != nullptr) {
      placement->shares.push_back(found->share);
      continue;
    }
    // A level the system's layout lacks: by CPUID's count.
    const uint64_t share = CountedShare(cache.sizeBytes, cache.sharedBy, threads);
    placement->shares.push_back(LevelShare{share, share});
    placement->sharesFromCounts = true;
  }
  return true;
}
