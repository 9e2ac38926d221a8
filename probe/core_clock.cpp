#include "probe/core_clock.h"

#include "platform/os.h"

static const uint64_t nanosecondsPerSecond = 1000000000u;

uint64_t CoreClockFromChain(uint64_t additions, uint64_t elapsedNanoseconds) {
  if (elapsedNanoseconds == 0) return 0;
  // Split so that additions * 10^9 cannot overflow.
  return additions / elapsedNanoseconds * nanosecondsPerSecond +
         additions % elapsedNanoseconds * nanosecondsPerSecond / elapsedNanoseconds;
}

namespace {
// 50,000 iterations of 64 additions: 3.2 million cycles, about 1 ms at 3 GHz
// and 16 ms at 0.2 GHz, long against the counter's resolution.
const uint32_t chainIterations = 50000;
const int runs = 7;

// Nanoseconds one chain took; 0 when the counter gives no usable reading.
uint64_t TimeOneChain(uint64_t counterFrequency) {
  const uint64_t start = ReadPerformanceCounter();
  const uint32_t sum = RunAdditionChain(chainIterations);
  const uint64_t end = ReadPerformanceCounter();
  if (sum != chainIterations * additionsPerIteration) return 0;  // not the chain we think we timed
  return (end - start) * nanosecondsPerSecond / counterFrequency;
}
}  // namespace

uint64_t MeasureCoreClockHz() {
  const uint64_t counterFrequency = PerformanceCounterFrequency();
  if (counterFrequency == 0) return 0;
  TimeOneChain(counterFrequency);  // wakes the core up from an idle clock
  uint64_t best = 0;
  for (int run = 0; run < runs; ++run) {
    const uint64_t elapsed = TimeOneChain(counterFrequency);
    if (elapsed != 0 && (best == 0 || elapsed < best)) best = elapsed;
  }
  return CoreClockFromChain(static_cast<uint64_t>(chainIterations) * additionsPerIteration, best);
}
