#include "probe/core_clock.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "probe/clock.h"

TEST(CoreClock, CyclesPerSecondFromTheChain) {
  const struct {
    uint64_t additions, nanoseconds, hertz;
  } cases[] = {
      {3200000, 1000000, 3200000000u},
      {3200000, 1306122, 2450000842u},  // 3.2e15 / 1306122, rounded down
      {1000000000000ull, 250000000000ull, 4000000000u},  // products past 64 bits
      {999, 1000, 999000000u},                  // fewer additions than nanoseconds
      {3200000, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CoreClockFromChain(c.additions, c.nanoseconds), c.hertz) << c.additions << " in " << c.nanoseconds;
}

TEST(CoreClock, ChainRunsTheAdditionsItClaims) {
  for (uint32_t iterations : {0u, 1u, 1000u})
    EXPECT_EQ(RunAdditionChain(iterations), iterations * additionsPerIteration) << iterations;
}

TEST(CoreClockOnThisMachine, IsPlausible) {
  const uint64_t core = MeasureCoreClockHz();
  std::printf("core clock %llu Hz, time-stamp counter %llu Hz\n", static_cast<unsigned long long>(core),
              static_cast<unsigned long long>(MeasureClockFrequency()));
  EXPECT_GT(core, 200000000u);
  EXPECT_LT(core, 10000000000u);
}
