#include "measure/state.h"

#include <gtest/gtest.h>

#include "tests/support/state_reset.h"

TEST(State, BlocksOfTheMenuSettings) {
  const struct { uint64_t area; uint32_t step, count, lastLength; } rows[] = {
      {2097152, 1024, 2046, 2096128}, {8388608, 1024, 8190, 8387584}, {1048576, 16384, 63, 1017856}};
  for (const auto& row : rows) {
    measurementState.testAreaSize = row.area, measurementState.blockStep = row.step;
    EXPECT_TRUE(BlockCount() == row.count && BlockLength(row.count - 1) == row.lastLength) << row.area << " " << row.step;
  }
}

namespace {
int allocations = 0;
void* FailThirdAllocation(size_t count, size_t size) { return ++allocations == 3 ? nullptr : std::calloc(count, size); }
}  // namespace

TEST(State, ResetGivesZeroedArraysOfTheCurrentCountOrNoneAtAll) {
  ResetMeasurementStateForTest(), ResetResultArrays();
  measurementState.readRates[2045] = 5, measurementState.testAreaSize = 8388608;
  ResetResultArrays();
  ASSERT_TRUE(ResultArraysExist());
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates})
    for (uint32_t i = 0; i < 8190; ++i) ASSERT_EQ(rates[i], 0u);
  allocateResultArray = FailThirdAllocation, ResetResultArrays();
  EXPECT_TRUE(!measurementState.readRates && !measurementState.writeRates && !measurementState.copyRates);
  allocateResultArray = std::calloc, ResetResultArrays();  // a later reset recovers
  EXPECT_TRUE(ResultArraysExist());
}
