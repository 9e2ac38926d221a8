// Thread placement, cache shares and the core-to-core matrix's processors
// over layouts read from hwloc's synthetic topologies, and over the CPUID
// fallback.
#include <gtest/gtest.h>

#include "platform/posix/machine_layout_hwloc.h"
#include "survey/core_pairs.h"
#include "survey/placement.h"

namespace {
MachineLayout LayoutOf(const char* synthetic) {
  MachineLayout layout;
  hwloc_topology_t topology;
  EXPECT_EQ(hwloc_topology_init(&topology), 0);
  EXPECT_EQ(hwloc_topology_set_synthetic(topology, synthetic), 0) << synthetic;
  EXPECT_EQ(hwloc_topology_load(topology), 0);
  EXPECT_TRUE(MachineLayoutFromHwloc(topology, &layout)) << synthetic;
  hwloc_topology_destroy(topology);
  return layout;
}

std::vector<uint32_t> ProcessorsOf(const ThreadPlacement& placement) {
  std::vector<uint32_t> processors;
  for (const ThreadPlace& thread : placement.threads) processors.push_back(thread.processor);
  return processors;
}

// 8 cores with 2 hardware threads each, two L3s of four cores; PUs 2c and 2c+1 share core c.
const char* const smtTwoL3 = "pack:1 l3:2(size=32MB) l2:4(size=2MB) l1d:1(size=48KB) core:1 pu:2";
}  // namespace

TEST(ThreadPlacement, OtherCachesAndPackagesFirstHardwareThreadsLast) {
  struct Row {
    const char* synthetic;
    uint32_t threads;
    std::vector<uint32_t> processors;
    bool sharesCores;
  };
  const Row rows[] = {
      {smtTwoL3, 8, {0, 8, 2, 10, 4, 12, 6, 14}, false},
      {smtTwoL3, 10, {0, 8, 2, 10, 4, 12, 6, 14, 1, 9}, true},
      // Two L3s per package: the packages take turns.
      {"pack:2 l3:2 l2:2 l1d:1 core:1 pu:1", 8, {0, 4, 2, 6, 1, 5, 3, 7}, false},
      // No cache: by package.
      {"pack:2 core:2 pu:2", 5, {0, 4, 2, 6, 1}, true},
      // Siblings numbered apart, as Linux numbers them: core 0 holds 0 and 2.
      {"pack:1 l3:1 l2:2 l1d:1 core:1 pu:2(indexes=0,2,1,3)", 3, {0, 1, 2}, true},
      // No core objects: every PU is a core.
      {"pu:4", 4, {0, 1, 2, 3}, false},
  };
  for (const Row& row : rows) {
    ThreadPlacement placement;
    std::string error;
    ASSERT_TRUE(PlaceThreads(LayoutOf(row.synthetic), row.threads, &placement, &error)) << error;
    EXPECT_EQ(ProcessorsOf(placement), row.processors) << row.synthetic;
    EXPECT_EQ(placement.sharesCores, row.sharesCores) << row.synthetic << " " << row.threads;
  }
  ThreadPlacement placement;
  std::string error;
  EXPECT_FALSE(PlaceThreads(LayoutOf("pack:1 core:2 pu:2"), 5, &placement, &error));
  EXPECT_NE(error, "");
}

TEST(ThreadPlacement, ReportNamesCoreAndEveryCacheInstance) {
  ThreadPlacement placement;
  std::string error;
  ASSERT_TRUE(PlaceThreads(LayoutOf("pack:2 l3:2 l2:2 l1d:1 core:1 pu:2"), 3, &placement, &error)) << error;
  EXPECT_EQ(DescribeThreadPlace(2, placement.threads[2]), "thread 2: processor 4, core 2, package 0, L1 #2, L2 #2, L3 #1");
  EXPECT_EQ(DescribeThreadPlace(1, placement.threads[1]), "thread 1: processor 8, core 4, package 1, L1 #4, L2 #4, L3 #2");
}

TEST(CacheShares, CountOnlyTheThreadsOnEachInstance) {
  struct Row {
    const char* synthetic;
    uint32_t threads;
    bool bound;
    uint32_t level;
    uint64_t smallest, largest;
  };
  const Row rows[] = {
      // Two threads on two cores of an SMT machine keep their whole L1 and L2, and an L3 each.
      {smtTwoL3, 2, true, 1, 48000, 48000},
      {smtTwoL3, 2, true, 2, 2000000, 2000000},
      {smtTwoL3, 2, true, 3, 32000000, 32000000},
      {smtTwoL3, 3, true, 3, 16000000, 32000000},
      {smtTwoL3, 10, true, 1, 24000, 48000},
      {smtTwoL3, 10, true, 3, 6400000, 6400000},
      {"pack:2 l3:1(size=16MB) l2:2 l1d:1 core:1 pu:1", 2, true, 3, 16000000, 16000000},
      // Left to the scheduler: size / min(sharers, threads).
      {smtTwoL3, 4, false, 1, 24000, 24000},
      {smtTwoL3, 4, false, 3, 8000000, 8000000},
  };
  for (const Row& row : rows) {
    const MachineLayout layout = LayoutOf(row.synthetic);
    ThreadPlacement placement;
    std::string error;
    ASSERT_TRUE(PlaceThreads(layout, row.threads, &placement, &error)) << error;
    const CacheShareReport report = row.bound ? CacheShares(layout, placement) : UnboundCacheShares(layout, row.threads);
    EXPECT_EQ(report.fallback, !row.bound);
    const CacheLevelShare* share = nullptr;
    for (const CacheLevelShare& level : report.levels)
      if (level.level == row.level) share = &level;
    ASSERT_NE(share, nullptr) << row.synthetic << " L" << row.level;
    EXPECT_TRUE(share->share.smallest == row.smallest && share->share.largest == row.largest)
        << row.synthetic << " " << row.threads << " L" << row.level;
  }
}

TEST(CacheShares, CpuidLayoutDividesByTheCount) {
  const MachineLayout layout = MachineLayoutFromCpuid({{3, 32 << 20, 64, 16}, {1, 48 << 10, 64, 2}}, 16);
  EXPECT_EQ(layout.source, "CPUID");
  ThreadPlacement placement;
  std::string error;
  ASSERT_TRUE(PlaceThreads(layout, 4, &placement, &error)) << error;
  EXPECT_EQ(ProcessorsOf(placement), (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(placement.threads[0].caches.empty());
  const CacheShareReport report = CacheShares(layout, placement);
  EXPECT_TRUE(report.fallback);
  ASSERT_EQ(report.levels.size(), 2u);
  EXPECT_EQ(report.levels[0].level, 1u);
  EXPECT_TRUE(report.levels[0].share.smallest == uint64_t{24} << 10 && report.levels[1].share.smallest == uint64_t{8} << 20);
}

// The core-to-core matrix's processors: one per core or all, each last-level
// cache's block together.
TEST(CoreToCore, OnePerCoreGroupedByLastLevelCache) {
  struct Row {
    const char* synthetic;
    bool everyLogical;
    std::vector<uint32_t> processors;
    std::vector<int32_t> lastLevelCaches;
  };
  const Row rows[] = {
      // Two L3s whose processors the system numbers alternately: each L3's block stays together.
      {"pack:1 l3:2 l2:2 l1d:1 core:1 pu:1(indexes=0,2,1,3)", false, {0, 2, 1, 3}, {0, 0, 1, 1}},
      // Hardware threads numbered apart (core 0 holds 0 and 2): one per core, or both beside each other.
      {"pack:1 l3:1 l2:2 l1d:1 core:1 pu:2(indexes=0,2,1,3)", false, {0, 1}, {0, 0}},
      {"pack:1 l3:1 l2:2 l1d:1 core:1 pu:2(indexes=0,2,1,3)", true, {0, 2, 1, 3}, {0, 0, 0, 0}},
      // No cache named: by package.
      {"pack:2 core:2 pu:1(indexes=0,2,1,3)", false, {0, 2, 1, 3}, {-1, -1, -1, -1}},
  };
  for (const Row& row : rows) {
    std::vector<uint32_t> processors;
    std::vector<int32_t> caches;
    for (const MatrixProcessor& chosen : ChooseMatrixProcessors(LayoutOf(row.synthetic), row.everyLogical)) {
      processors.push_back(chosen.processor);
      caches.push_back(chosen.lastLevelCache);
    }
    EXPECT_EQ(processors, row.processors) << row.synthetic;
    EXPECT_EQ(caches, row.lastLevelCaches) << row.synthetic;
  }
  // Many processors: 2 packages x 4 L3s x 4 cores x 2 threads; one per core,
  // each L3's four cores in one block, the blocks in order.
  const std::vector<MatrixProcessor> many =
      ChooseMatrixProcessors(LayoutOf("pack:2 l3:4 l2:4 l1d:1 core:1 pu:2"), false);
  ASSERT_EQ(many.size(), 32u);
  for (uint32_t i = 0; i < many.size(); ++i) EXPECT_EQ(many[i].lastLevelCache, static_cast<int32_t>(i / 4)) << i;
  // Cores numbered across the L3s (as a system may number them): grouped all the same.
  MachineLayout interleaved;
  for (uint32_t p = 0; p < 4; ++p) interleaved.processors.push_back({p, p, 0});
  interleaved.caches = {{3, 32u << 20, 64, {0, 2}, 2}, {3, 32u << 20, 64, {1, 3}, 2}};
  std::vector<uint32_t> order;
  for (const MatrixProcessor& chosen : ChooseMatrixProcessors(interleaved, false)) order.push_back(chosen.processor);
  EXPECT_EQ(order, (std::vector<uint32_t>{0, 2, 1, 3}));
  const std::vector<MatrixProcessor> all =
      ChooseMatrixProcessors(LayoutOf("pack:1 l3:1 l2:2 l1d:1 core:1 pu:2(indexes=0,2,1,3)"), true);
  EXPECT_TRUE(AreSiblings(all[0], all[1]));
  EXPECT_FALSE(AreSiblings(all[1], all[2]));
  EXPECT_EQ(MatrixPairs(4).size(), 12u);  // both directions of every pair
}
