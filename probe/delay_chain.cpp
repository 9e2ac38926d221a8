#include "probe/delay_chain.h"

#include "display/exact_arithmetic.h"
#include "probe/core_clock.h"
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

// The ticks of an addition chain of iterations * additionsPerIteration cycles.
uint64_t TimeAdditionChain(uint32_t iterations) {
  const uint64_t start = ReadCounterFenced();
  RunAdditionChain(iterations);
  return ReadCounterFenced() - start;
}
}  // namespace

uint64_t MeasureDelayCyclesHundredths(uint32_t rounds, uint64_t tscHz) {
  if (rounds == 0 || tscHz == 0) return 0;
  // About 0.25 ms of chain and 0.5 ms of delays at 3 GHz, at least one call:
  // short runs, so that on a busy machine some run nothing interrupted.
  const uint32_t chainIterations = 12500;
  const uint64_t chainCycles = uint64_t{chainIterations} * additionsPerIteration;
  const uint64_t calls = 2 * chainCycles / (uint64_t{rounds} * delayAdditionsPerRound) + 1;
  TimeDelays(rounds, calls);  // wakes the core up from an idle clock
  // The clock taken next to the delays, run by run, so that a core whose
  // clock changes is measured at the clock the delays ran at; the shortest
  // of each, as interruptions only lengthen them.
  uint64_t bestChain = UINT64_MAX, bestDelays = UINT64_MAX;
  for (int run = 0; run < 9; ++run) {
    const uint64_t chain = TimeAdditionChain(chainIterations), delays = TimeDelays(rounds, calls);
    if (chain < bestChain) bestChain = chain;
    if (delays < bestDelays) bestDelays = delays;
  }
  return DelayCyclesHundredths(bestDelays, calls, tscHz, MulDivWide(chainCycles, tscHz, bestChain));
}
