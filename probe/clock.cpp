#include "probe/clock.h"

#include "platform/os.h"
#include "probe/time_stamp.h"

static const uint64_t nanosecondsPerSecond = 1000000000u;

uint64_t ClockFromReadings(const ClockReadings& r) {
  if (r.counterFrequency == 0) return 0;
  const uint64_t overhead = (r.calibrationEnd - r.calibrationStart) * nanosecondsPerSecond / r.counterFrequency;
  const uint64_t interval = (r.intervalEnd - r.intervalStart) * nanosecondsPerSecond / r.counterFrequency;
  if (interval <= overhead) return 0;
  const uint64_t elapsed = interval - overhead;
  return (r.ticksEnd - r.ticksStart) * nanosecondsPerSecond / elapsed;
}

namespace {
struct SystemClockSources {
  static uint64_t Frequency() { return PerformanceCounterFrequency(); }
  static uint64_t Counter() { return ReadPerformanceCounter(); }
  static uint64_t TimeStamp() { return ReadTimeStampCounter(); }
  static void Sleep(uint32_t milliseconds) { SleepMilliseconds(milliseconds); }
};
}  // namespace

uint64_t MeasureClockFrequency() { return MeasureClockWith<SystemClockSources>(); }
