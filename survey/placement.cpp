// Thread placement over the machine layout, and the threads' cache shares.
#include "survey/placement.h"

#include <algorithm>
#include <map>

namespace {
// The cores of one last-level cache instance (or of one package), each with
// its logical processors (indices into the layout) in ascending OS number.
struct PlacementGroup {
  uint32_t package;
  std::vector<uint32_t> coreIds;
  std::vector<std::vector<uint32_t>> coreProcessors;
};

bool Contains(const std::vector<uint32_t>& sorted, uint32_t value) {
  return std::binary_search(sorted.begin(), sorted.end(), value);
}

// The highest level with processor sets; 0 when no cache has one.
uint32_t GroupingLevel(const MachineLayout& layout) {
  uint32_t level = 0;
  for (const LayoutCache& cache : layout.caches)
    if (!cache.processors.empty()) level = std::max(level, cache.level);
  return level;
}

// Groups in order of their lowest processor; cores within a group likewise.
std::vector<PlacementGroup> GroupProcessors(const MachineLayout& layout) {
  const uint32_t level = GroupingLevel(layout);
  std::vector<PlacementGroup> groups;
  std::map<uint64_t, size_t> groupOfKey;
  for (uint32_t p = 0; p < layout.processors.size(); ++p) {
    const LayoutProcessor& processor = layout.processors[p];
    // Keyed by the instance serving the processor; by package where none does.
    uint64_t key = layout.caches.size() + processor.package;
    for (size_t c = 0; c < layout.caches.size(); ++c)
      if (layout.caches[c].level == level && Contains(layout.caches[c].processors, processor.osNumber)) key = c;
    auto found = groupOfKey.find(key);
    if (found == groupOfKey.end()) {
      found = groupOfKey.emplace(key, groups.size()).first;
      groups.push_back(PlacementGroup{processor.package, {}, {}});
    }
    PlacementGroup& group = groups[found->second];
    auto core = std::find(group.coreIds.begin(), group.coreIds.end(), processor.core);
    if (core == group.coreIds.end()) {
      group.coreIds.push_back(processor.core);
      group.coreProcessors.emplace_back();
      core = group.coreIds.end() - 1;
    }
    group.coreProcessors[core - group.coreIds.begin()].push_back(p);
  }
  return groups;
}

// Packages interleaved: the first group of each package, then the second ones, ...
std::vector<PlacementGroup> InterleavePackages(const std::vector<PlacementGroup>& groups) {
  std::map<uint32_t, std::vector<const PlacementGroup*>> byPackage;
  for (const PlacementGroup& group : groups) byPackage[group.package].push_back(&group);
  std::vector<PlacementGroup> order;
  for (size_t rank = 0; order.size() < groups.size(); ++rank)
    for (const auto& package : byPackage)
      if (rank < package.second.size()) order.push_back(*package.second[rank]);
  return order;
}

// The processors in placement order: round r takes the r-th hardware thread
// of the cores, pass k the k-th core of every group.
std::vector<uint32_t> PlacementOrder(const std::vector<PlacementGroup>& groups) {
  std::vector<uint32_t> order;
  for (size_t round = 0;; ++round) {
    bool roundTook = false;
    for (size_t pass = 0;; ++pass) {
      bool passReached = false;
      for (const PlacementGroup& group : groups) {
        if (pass >= group.coreProcessors.size()) continue;
        passReached = true;
        if (round >= group.coreProcessors[pass].size()) continue;
        order.push_back(group.coreProcessors[pass][round]);
        roundTook = true;
      }
      if (!passReached) break;
    }
    if (!roundTook) return order;
  }
}

// Each cache's index among the instances of its level.
std::vector<uint32_t> InstanceNumbers(const MachineLayout& layout) {
  std::map<uint32_t, uint32_t> seen;
  std::vector<uint32_t> numbers;
  for (const LayoutCache& cache : layout.caches) numbers.push_back(seen[cache.level]++);
  return numbers;
}

void AddShare(std::map<uint32_t, CacheLevelShare>& levels, uint32_t level, uint64_t share) {
  auto found = levels.find(level);
  if (found == levels.end()) {
    levels[level] = CacheLevelShare{level, LevelShare{share, share}};
    return;
  }
  LevelShare& entry = found->second.share;
  entry.smallest = std::min(entry.smallest, share);
  entry.largest = std::max(entry.largest, share);
}

std::vector<CacheLevelShare> InLevelOrder(const std::map<uint32_t, CacheLevelShare>& levels) {
  std::vector<CacheLevelShare> out;
  for (const auto& level : levels) out.push_back(level.second);
  return out;
}
}  // namespace

MachineLayout MachineLayoutFromCpuid(const std::vector<CountedCache>& caches, uint32_t processorCount) {
  MachineLayout layout;
  layout.source = "CPUID";
  for (uint32_t p = 0; p < processorCount; ++p) layout.processors.push_back(LayoutProcessor{p, p, 0});
  for (const CountedCache& cache : caches)
    layout.caches.push_back(LayoutCache{cache.level, cache.sizeBytes, cache.lineSize, {}, cache.sharedBy});
  std::stable_sort(layout.caches.begin(), layout.caches.end(),
                   [](const LayoutCache& a, const LayoutCache& b) { return a.level < b.level; });
  return layout;
}

bool PlaceThreads(const MachineLayout& layout, uint32_t threadCount, ThreadPlacement* placement,
                  std::string* error) {
  placement->threads.clear();
  placement->sharesCores = false;
  if (threadCount > layout.processors.size()) {
    *error = std::to_string(threadCount) + " threads but only " + std::to_string(layout.processors.size()) +
             " logical processors";
    return false;
  }
  const std::vector<uint32_t> order = PlacementOrder(InterleavePackages(GroupProcessors(layout)));
  const std::vector<uint32_t> instances = InstanceNumbers(layout);
  std::vector<uint32_t> usedCores;
  for (uint32_t t = 0; t < threadCount; ++t) {
    const LayoutProcessor& processor = layout.processors[order[t]];
    ThreadPlace place{processor.osNumber, processor.core, processor.package, {}};
    for (size_t c = 0; c < layout.caches.size(); ++c)
      if (Contains(layout.caches[c].processors, processor.osNumber))
        place.caches.push_back(PlacedCache{layout.caches[c].level, instances[c]});
    std::stable_sort(place.caches.begin(), place.caches.end(),
                     [](const PlacedCache& a, const PlacedCache& b) { return a.level < b.level; });
    if (std::find(usedCores.begin(), usedCores.end(), processor.core) != usedCores.end())
      placement->sharesCores = true;
    usedCores.push_back(processor.core);
    placement->threads.push_back(place);
  }
  return true;
}

CacheShareReport CacheShares(const MachineLayout& layout, const ThreadPlacement& placement) {
  for (const LayoutCache& cache : layout.caches)
    if (cache.processors.empty()) return UnboundCacheShares(layout, static_cast<uint32_t>(placement.threads.size()));
  std::map<uint32_t, CacheLevelShare> levels;
  for (const LayoutCache& cache : layout.caches) {
    uint32_t sharers = 0;
    for (const ThreadPlace& thread : placement.threads) sharers += Contains(cache.processors, thread.processor);
    // Every thread on this instance has the same share of it.
    if (sharers > 0) AddShare(levels, cache.level, cache.sizeBytes / sharers);
  }
  return CacheShareReport{InLevelOrder(levels), false};
}

CacheShareReport UnboundCacheShares(const MachineLayout& layout, uint32_t threadCount) {
  std::map<uint32_t, CacheLevelShare> levels;
  for (const LayoutCache& cache : layout.caches)
    AddShare(levels, cache.level, CountedShare(cache.sizeBytes, cache.sharedBy, threadCount));
  return CacheShareReport{InLevelOrder(levels), true};
}

uint64_t CountedShare(uint64_t sizeBytes, uint32_t sharedBy, uint32_t threadCount) {
  const uint32_t sharers = std::min(sharedBy, threadCount);
  return sizeBytes / (sharers == 0 ? 1 : sharers);
}

std::string DescribeThreadPlace(uint32_t thread, const ThreadPlace& place) {
  std::string text = "thread " + std::to_string(thread) + ": processor " + std::to_string(place.processor) +
                     ", core " + std::to_string(place.core) + ", package " + std::to_string(place.package);
  for (const PlacedCache& cache : place.caches)
    text += ", L" + std::to_string(cache.level) + " #" + std::to_string(cache.instance);
  return text;
}
