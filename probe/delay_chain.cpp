#include "probe/delay_chain.h"

#include "display/exact_arithmetic.h"
#include "probe/time_stamp.h"

uint64_t DelayCyclesHundredths(uint64_t ticks, uint64_t calls, uint64_t tscHz, uint64_t coreHz) {
  if (calls == 0 || tscHz == 0 || coreHz == 0) return 0;
  // floor(floor(x) / calls) equals floor(x / calls): nothing is lost in two steps.
  const uint64_t hundredths = MulDivWide(ticks, coreHz * 100, tscHz);
  return hundredths == UINT64_MAX ? UINT64_MAX : hundredths / calls;
}

namespace {
// calls delays back to back, as a traffic loop makes them (the routine is
// assembly, so no call can be dropped); the ticks they took.
uint64_t TimeDelays(uint32_t rounds, uint64_t calls) {
  const uint64_t start = ReadCounterFenced();
  for (uint64_t call = 0; call < calls; ++call) RunDelayChain(rounds);
  return ReadCounterFenced() - start;
}
}  // namespace

uint64_t MeasureDelayCyclesHundredths(uint32_t rounds, uint64_t tscHz, uint64_t coreHz) {
  if (rounds == 0 || tscHz == 0 || coreHz == 0) return 0;
  // Calls for about 2 ms from the chain's nominal length, at least one.
  const uint64_t nominalCycles = uint64_t{rounds} * delayAdditionsPerRound;
  const uint64_t calls = coreHz / 500 / nominalCycles + 1;
  TimeDelays(rounds, calls);  // wakes the core up from an idle clock
  uint64_t best = UINT64_MAX;
  for (int run = 0; run < 3; ++run) {
    const uint64_t ticks = TimeDelays(rounds, calls);
    if (ticks < best) best = ticks;
  }
  return DelayCyclesHundredths(best, calls, tscHz, coreHz);
}
