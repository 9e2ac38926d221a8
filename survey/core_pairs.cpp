#include "survey/core_pairs.h"

#include <algorithm>

namespace {
// The highest cache level whose instances name their processors; 0 where none does.
uint32_t LastNamedLevel(const MachineLayout& layout) {
  uint32_t level = 0;
  for (const LayoutCache& cache : layout.caches)
    if (!cache.processors.empty() && cache.level > level) level = cache.level;
  return level;
}

int32_t LastLevelInstanceOf(const MachineLayout& layout, uint32_t level, uint32_t processor) {
  int32_t instance = -1;
  for (const LayoutCache& cache : layout.caches) {
    if (cache.level != level) continue;
    ++instance;
    if (std::binary_search(cache.processors.begin(), cache.processors.end(), processor)) return instance;
  }
  return -1;
}
}  // namespace

std::vector<MatrixProcessor> ChooseMatrixProcessors(const MachineLayout& layout, bool everyLogicalProcessor) {
  const uint32_t level = LastNamedLevel(layout);
  std::vector<MatrixProcessor> chosen;
  for (const LayoutProcessor& processor : layout.processors) {
    // The processors come in ascending OS number, so a core's first is its lowest.
    const bool coreSeen = std::any_of(chosen.begin(), chosen.end(),
                                      [&](const MatrixProcessor& other) { return other.core == processor.core; });
    if (coreSeen && !everyLogicalProcessor) continue;
    chosen.push_back({processor.osNumber, processor.core, processor.package,
                      level == 0 ? -1 : LastLevelInstanceOf(layout, level, processor.osNumber)});
  }
  std::stable_sort(chosen.begin(), chosen.end(), [](const MatrixProcessor& a, const MatrixProcessor& b) {
    if (a.package != b.package) return a.package < b.package;
    if (a.lastLevelCache != b.lastLevelCache) return a.lastLevelCache < b.lastLevelCache;
    if (a.core != b.core) return a.core < b.core;
    return a.processor < b.processor;
  });
  return chosen;
}

std::vector<MatrixPair> MatrixPairs(uint32_t count) {
  std::vector<MatrixPair> pairs;
  for (uint32_t from = 0; from < count; ++from)
    for (uint32_t to = 0; to < count; ++to)
      if (from != to) pairs.push_back({from, to});
  return pairs;
}
