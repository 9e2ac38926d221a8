#include "probe/clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(ClockArithmetic, WorkedExamples) {
  // 3.579545 MHz counter: overhead 279 ns, elapsed 100,000,419 - 279 ns.
  ClockReadings r{3579545, 1000, 1001, 5000, 5000 + 357956, 7, 7 + 200000000};
  EXPECT_EQ(ClockFromReadings(r), 1999997200u);
  // Nanosecond counter: exactly 3 GHz.
  ClockReadings n{1000000000, 42, 42, 10, 10 + 100000000, 0, 300000000};
  EXPECT_EQ(ClockFromReadings(n), 3000000000u);
}

namespace {
// Sources that log every read and give the readings of the first worked
// example in the order the measurement must take them.
std::string reads;
const uint64_t counterReadings[] = {1000, 1001, 5000, 5000 + 357956};
const uint64_t timeStampReadings[] = {1, 2, 7, 7 + 200000000};
size_t counterReads = 0, timeStampReads = 0;
struct LoggedSources {
  static uint64_t Frequency() {
    reads += "F";
    return 3579545;
  }
  static uint64_t Counter() {
    reads += "C";
    return counterReadings[counterReads++ % 4];
  }
  static uint64_t TimeStamp() {
    reads += "T";
    return timeStampReadings[timeStampReads++ % 4];
  }
  static void Sleep(uint32_t milliseconds) { reads += "S" + std::to_string(milliseconds); }
};
}  // namespace

TEST(ClockMeasurement, CounterReadsEncloseTheTimeStampReadsAndTheSleep) {
  EXPECT_EQ(MeasureClockWith<LoggedSources>(), 1999997200u);
  EXPECT_EQ(reads, "FCTTCCTS100TC");
}

TEST(ClockArithmetic, ProductsKeepPrecisionAndWrappedCountersStillSubtract) {
  // Readings that straddle the wrap of the 64-bit counters.
  ClockReadings r{1000000000, 0, 0, ~0ull - 49999999, 50000000, ~0ull - 99, 249999900};
  EXPECT_EQ(ClockFromReadings(r), 2500000000u);
}

TEST(ClockArithmetic, NoRateIsKnownWithoutACounterOrAnInterval) {
  ClockReadings noCounter{0, 0, 1, 0, 100, 0, 1000};
  EXPECT_EQ(ClockFromReadings(noCounter), 0u);
  ClockReadings emptyInterval{1000000000, 0, 0, 500, 500, 0, 1000};
  EXPECT_EQ(ClockFromReadings(emptyInterval), 0u);
  // An interval no longer than the cost of the reads themselves.
  ClockReadings swallowed{1000000000, 0, 300, 0, 300, 0, 1000};
  EXPECT_EQ(ClockFromReadings(swallowed), 0u);
}

TEST(ClockOnThisMachine, IsPlausible) {
  const uint64_t hz = MeasureClockFrequency();
  std::printf("time-stamp counter: %llu Hz\n", static_cast<unsigned long long>(hz));
  // Any x86 processor of the last decades, virtualised or not.
  EXPECT_GT(hz, 200000000u);
  EXPECT_LT(hz, 10000000000u);
}
