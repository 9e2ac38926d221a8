#include "probe/clock.h"

#include "platform/os.h"

static const uint64_t nanosecondsPerSecond = 1000000000u;

uint64_t ClockFromReadings(const ClockReadings& r) {
  if (r.counterFrequency == 0) return 0;
  const uint64_t overhead = (r.calibrationEnd - r.calibrationStart) * nanosecondsPerSecond / r.counterFrequency;
  const uint64_t interval = (r.intervalEnd - r.intervalStart) * nanosecondsPerSecond / r.counterFrequency;
  if (interval <= overhead) return 0;
  const uint64_t elapsed = interval - overhead;
  return (r.ticksEnd - r.ticksStart) * nanosecondsPerSecond / elapsed;
}

uint64_t MeasureClockFrequency() {
  ClockReadings r;
  r.counterFrequency = PerformanceCounterFrequency();
  if (r.counterFrequency == 0) return 0;

  r.calibrationStart = ReadPerformanceCounter();
  volatile uint64_t discarded = ReadTimeStampCounter();
  discarded = ReadTimeStampCounter();
  (void)discarded;
  r.calibrationEnd = ReadPerformanceCounter();

  r.intervalStart = ReadPerformanceCounter();
  r.ticksStart = ReadTimeStampCounter();
  SleepMilliseconds(100);
  r.ticksEnd = ReadTimeStampCounter();
  r.intervalEnd = ReadPerformanceCounter();
  return ClockFromReadings(r);
}
