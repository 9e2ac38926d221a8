#include "probe/clock.h"

#include <gtest/gtest.h>

#include <string>

TEST(ClockArithmetic, WorkedExamplesWrapsAndRefusals) {
  const struct { ClockReadings readings; uint64_t hz; } rows[] = {
      // 3.579545 MHz counter: overhead 279 ns, elapsed 100,000,419 - 279 ns.
      {{3579545, 1000, 1001, 5000, 5000 + 357956, 7, 7 + 200000000}, 1999997200u},
      {{1000000000, 42, 42, 10, 10 + 100000000, 0, 300000000}, 3000000000u},  // nanosecond counter
      {{1000000000, 0, 0, ~0ull - 49999999, 50000000, ~0ull - 99, 249999900}, 2500000000u},  // counters wrap
      {{0, 0, 1, 0, 100, 0, 1000}, 0},                 // no counter
      {{1000000000, 0, 0, 500, 500, 0, 1000}, 0},      // empty interval
      {{1000000000, 0, 300, 0, 300, 0, 1000}, 0},      // no longer than the reads themselves
  };
  for (const auto& row : rows) EXPECT_EQ(ClockFromReadings(row.readings), row.hz) << row.readings.intervalEnd;
}

namespace {
// Sources that log every read and give the first worked example's readings in
// the order the measurement must take them.
std::string reads;
const uint64_t counterReadings[] = {1000, 1001, 5000, 5000 + 357956}, timeStampReadings[] = {1, 2, 7, 7 + 200000000};
size_t counterReads = 0, timeStampReads = 0;
struct LoggedSources {
  static uint64_t Frequency() { return reads += "F", 3579545; }
  static uint64_t Counter() { return reads += "C", counterReadings[counterReads++ % 4]; }
  static uint64_t TimeStamp() { return reads += "T", timeStampReadings[timeStampReads++ % 4]; }
  static void Sleep(uint32_t milliseconds) { reads += "S" + std::to_string(milliseconds); }
};
}  // namespace

TEST(ClockMeasurement, CounterReadsEncloseTheTimeStampReadsAndTheSleep) {
  EXPECT_EQ(MeasureClockWith<LoggedSources>(), 1999997200u);
  EXPECT_EQ(reads, "FCTTCCTS100TC");
  const uint64_t hz = MeasureClockFrequency();  // on this machine: any x86 processor of the last decades
  EXPECT_TRUE(hz > 200000000u && hz < 10000000000u) << hz;
}
