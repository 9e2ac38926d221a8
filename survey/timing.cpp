#include "survey/timing.h"

#include "survey/arithmetic.h"
#include "survey/counter.h"

uint64_t RunRate(const TimedRun& run, uint64_t tscHz) {
  if (run.ticks == 0) return 0;
  return MulDivWide(run.bytes, tscHz, run.ticks);
}

uint64_t CallsForMinimum(uint64_t calls, uint64_t ticks, uint64_t minTicks) {
  if (calls == 0) calls = 1;
  if (ticks >= minTicks) return calls;
  if (ticks == 0) return calls * 2;
  const uint64_t scaled = MulDivWide(calls, minTicks + minTicks / 8, ticks);
  return scaled > calls ? scaled : calls + 1;
}

namespace {
// calls back-to-back calls between two fenced counter reads. Blocks within a
// kernel's 32-bit count go straight to the routine, so the loop around it is
// a counter and an indirect call.
TimedRun TimeCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                   uint64_t calls) {
  TimedRun run{0, 0};
  if (length <= (uint64_t{1} << 30)) {
    const uint32_t count = static_cast<uint32_t>(length);
    const uint64_t start = ReadCounterFenced();
    switch (kernel.group) {
      case GroupRead:
        for (uint64_t call = 0; call < calls; ++call) kernel.read(source, count);
        break;
      case GroupWrite:
        for (uint64_t call = 0; call < calls; ++call) kernel.write(destination, count);
        break;
      case GroupCopy:
        for (uint64_t call = 0; call < calls; ++call) kernel.copy(source, destination, count);
        break;
    }
    run.ticks = ReadCounterFenced() - start;
    run.bytes = (length - length % kernel.step) * calls;
  } else {
    const uint64_t start = ReadCounterFenced();
    for (uint64_t call = 0; call < calls; ++call) run.bytes += CallSurveyKernel(kernel, source, destination, length);
    run.ticks = ReadCounterFenced() - start;
  }
  return run;
}
}  // namespace

uint64_t MeasureSustainedRate(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination,
                              uint64_t length, const TimingRule& rule) {
  // The untimed call brings the block where it will stay, and tells how many
  // calls a measurement needs.
  uint64_t calls = CallsForMinimum(1, TimeCalls(kernel, source, destination, length, 1).ticks, rule.minTicks);
  uint64_t best = 0;
  for (uint32_t repeat = 0; repeat < rule.repeats; ++repeat) {
    TimedRun run = TimeCalls(kernel, source, destination, length, calls);
    // A measurement that ended early (the estimate came from a cold call)
    // does not count; it is run again with more calls.
    for (int retry = 0; run.ticks < rule.minTicks && retry < 8; ++retry) {
      calls = CallsForMinimum(calls, run.ticks, rule.minTicks);
      run = TimeCalls(kernel, source, destination, length, calls);
    }
    const uint64_t rate = RunRate(run, rule.tscHz);
    if (rate > best) best = rate;
  }
  return best;
}
