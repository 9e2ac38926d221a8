// The core-to-core matrix: which processors and in what order over hwloc's
// synthetic topologies, and the matrix of this machine's processors.
#include <gtest/gtest.h>

#include "platform/posix/machine_layout_hwloc.h"
#include "probe/clock.h"
#include "survey/core_to_core.h"

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
}  // namespace

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

namespace {
uint32_t callsAllowed = 0;
bool AllowCalls(const CoreToCoreProgress&, void*) { return callsAllowed-- > 0; }
}  // namespace

// Every ordered pair on its own, its line first written on the row's
// processor; a stop between samples ends the matrix; a bad pair fails.
TEST(CoreToCore, EveryDirectionOnItsOwnLine) {
  MachineLayout layout;
  std::string error;
  if (!ReadMachineLayout(&layout, &error) || layout.processors.size() < 2)
    GTEST_SKIP() << "needs two processors the process may run on";
  const uint64_t tscHz = MeasureClockFrequency();
  const PingPongRule rule{200, 5};
  CoreToCoreMatrix matrix;
  ASSERT_EQ(MeasureCoreToCoreMatrix(layout, false, rule, tscHz, nullptr, nullptr, &matrix, &error), MatrixMeasured)
      << error;
  const size_t count = matrix.processors.size();
  for (size_t from = 0; from < count; ++from) {
    for (size_t to = 0; to < count; ++to) {
      const size_t cell = from * count + to;
      EXPECT_EQ(matrix.lineFirstWrittenOn[cell], from == to ? -1 : static_cast<int32_t>(matrix.processors[from].processor));
      EXPECT_EQ(matrix.oneWayPicoseconds[cell] > 0, from != to) << from << "," << to;
    }
  }
  callsAllowed = 2;  // the first pair's start and its first sample
  EXPECT_EQ(MeasureCoreToCoreMatrix(layout, false, rule, tscHz, AllowCalls, nullptr, &matrix, &error), MatrixStopped);
  PingPongResult result;
  EXPECT_EQ(MeasurePingPong(layout.processors[0].osNumber, 1u << 20, rule, tscHz, nullptr, nullptr, &result, &error),
            PingPongFailed);
  EXPECT_NE(error, "");
}
