#include "measure/state.h"

#include <gtest/gtest.h>

#include "tests/support/state_reset.h"

class State : public ::testing::Test {
 protected:
  void SetUp() override { ResetMeasurementStateForTest(); }
  void TearDown() override {
    allocateResultArray = std::calloc;
    ResetMeasurementStateForTest();
  }
};

TEST_F(State, BlocksOfTheMenuSettings) {
  EXPECT_EQ(BlockCount(), 2046u);
  EXPECT_EQ(BlockLength(0), 2048u);
  EXPECT_EQ(BlockLength(2045), 2096128u);
  measurementState.testAreaSize = 8388608;
  EXPECT_EQ(BlockCount(), 8190u);
  EXPECT_EQ(BlockLength(8189), 8387584u);
  measurementState.testAreaSize = 1048576;
  measurementState.blockStep = 16384;
  EXPECT_EQ(BlockCount(), 63u);
  EXPECT_EQ(BlockLength(62), 1017856u);
  // Every block fits in the test area.
  for (uint32_t step : {1024u, 2048u, 4096u, 8192u, 16384u})
    for (uint64_t area : {1048576ull, 2097152ull, 4194304ull, 8388608ull}) {
      measurementState.blockStep = step;
      measurementState.testAreaSize = area;
      EXPECT_LE(BlockLength(BlockCount() - 1), area - step);
    }
}

TEST_F(State, ResetGivesZeroedArraysOfTheCurrentCount) {
  ResetResultArrays();
  ASSERT_TRUE(ResultArraysExist());
  measurementState.readRates[2045] = 5;
  measurementState.testAreaSize = 8388608;
  ResetResultArrays();
  ASSERT_TRUE(ResultArraysExist());
  for (uint32_t i = 0; i < 8190; ++i) {
    ASSERT_EQ(measurementState.readRates[i], 0u);
    ASSERT_EQ(measurementState.writeRates[i], 0u);
    ASSERT_EQ(measurementState.copyRates[i], 0u);
  }
}

namespace {
int allocations = 0;
void* FailThirdAllocation(size_t count, size_t size) {
  return ++allocations == 3 ? nullptr : std::calloc(count, size);
}
}  // namespace

TEST_F(State, FailedAllocationLeavesNoArrays) {
  ResetResultArrays();
  allocations = 0;
  allocateResultArray = FailThirdAllocation;
  ResetResultArrays();
  EXPECT_FALSE(ResultArraysExist());
  EXPECT_EQ(measurementState.readRates, nullptr);
  EXPECT_EQ(measurementState.writeRates, nullptr);
  EXPECT_EQ(measurementState.copyRates, nullptr);
  allocateResultArray = std::calloc;
  ResetResultArrays();  // a later reset recovers
  EXPECT_TRUE(ResultArraysExist());
}
