// The core-to-core matrix of this machine's processors (the order of its
// processors is tested with the thread placement).
#include <gtest/gtest.h>

#include "probe/clock.h"
#include "survey/core_to_core.h"

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
