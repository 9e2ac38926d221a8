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

// The measurement written once over its sources, so that a test can follow the
// order of the reads. Sources provides static Frequency(), Counter() (the
// high-resolution counter), TimeStamp() and Sleep(milliseconds).
template <class Sources>
uint64_t MeasureClockWith() {
  ClockReadings r;
  r.counterFrequency = Sources::Frequency();
  if (r.counterFrequency == 0) return 0;
  // Calibration: the same counter and time-stamp reads as the interval, no sleep.
  r.calibrationStart = Sources::Counter();
  volatile uint64_t discarded = Sources::TimeStamp();
  discarded = Sources::TimeStamp();
  (void)discarded;
  r.calibrationEnd = Sources::Counter();
  // The counter reads enclose the time-stamp reads, with only the sleep between.
  r.intervalStart = Sources::Counter();
  r.ticksStart = Sources::TimeStamp();
  Sources::Sleep(100);
  r.ticksEnd = Sources::TimeStamp();
  r.intervalEnd = Sources::Counter();
  return ClockFromReadings(r);
}

