// Clock-rate measurement: time-stamp ticks over about 100 ms of the system's
// high-resolution counter.
#pragma once
#include <cstdint>

// Readings of one measurement; all counts unsigned 64-bit.
struct ClockReadings {
  uint64_t counterFrequency;  // counts per second
  uint64_t calibrationStart, calibrationEnd;  // counter around two bare time-stamp reads
  uint64_t intervalStart, intervalEnd;        // counter around the timed interval
  uint64_t ticksStart, ticksEnd;              // time-stamp counter inside it
};

// Hertz from the readings, in integer arithmetic with the products formed
// before the divisions. 0 when no rate can be known: a counter frequency of 0,
// or an interval that is not longer than the cost of the reads.
uint64_t ClockFromReadings(const ClockReadings& readings);

// Measures the time-stamp counter's rate in hertz; 0 when it cannot be known.
uint64_t MeasureClockFrequency();

inline uint64_t ReadTimeStampCounter() { return __builtin_ia32_rdtsc(); }
