// The sweep's block loop, written once over a set of kernels so that the
// program calls the real kernels directly while tests can substitute recording
// ones. Kernels provides static functions with the kernels' names and
// signatures, Clock() for the clock rate and Counter() for the time-stamp
// counter read around every timed call.
#pragma once
#include "measure/sweep.h"
#include "platform/os.h"
#include "probe/time_stamp.h"
#include "record/state.h"

namespace sweep_detail {

struct Pass {
  uint64_t overhead;
  uint64_t clockHz;
  uint64_t scaledLength;
  uint64_t best;
};

// Times the call fixedPasses times, or repeatCount times read afresh before
// each pass when fixedPasses is 0. Returns false when the thread is told to stop.
template <class Kernels, class Call>
inline bool TimePasses(Pass& pass, uint32_t fixedPasses, Call call) {
  for (uint32_t passIndex = 0;; ++passIndex) {
    const uint32_t passes = fixedPasses != 0 ? fixedPasses : LoadWhole32(&measurementState.repeatCount);
    if (passIndex >= passes) return true;
    if (ThreadStopRequested()) return false;
    const uint64_t t0 = Kernels::Counter();
    call();
    const uint64_t t1 = Kernels::Counter();
    const uint64_t rate = PassRate(t1 - t0, pass.overhead, pass.clockHz, pass.scaledLength);
    if (rate > pass.best) pass.best = rate;
  }
}

}  // namespace sweep_detail

template <class Kernels>
SweepOutcome RunSweep() {
  using namespace sweep_detail;
  MeasurementState& state = measurementState;
  const uint64_t clockHz = Kernels::Clock();
  // A stop during the measurement may have cut its interval short.
  if (ThreadStopRequested()) return SweepStopped;
  StoreWhole(&state.clockHz, clockHz);
  if (!SweepCanRun()) return SweepRefused;

  uint64_t sum = 0;
  for (int call = 0; call < 50; ++call) {
    const uint64_t t0 = Kernels::Counter();
    Kernels::EmptyKernel();
    const uint64_t t1 = Kernels::Counter();
    sum += t1 - t0;
  }

  Pass pass;
  pass.overhead = sum / 50;
  pass.clockHz = LoadWhole(&state.clockHz);
  const uint8_t* source = state.sourceBuffer;
  uint8_t* destination = state.destinationBuffer;
  const uint32_t warmLength = state.l2CacheSize;

  for (uint32_t i = 0; i < BlockCount(); ++i) {
    if (ThreadStopRequested()) return SweepStopped;
    StoreWhole32(&state.sweepBlockIndex, i);
    const uint32_t length = BlockLength(i);
    pass.scaledLength = static_cast<uint64_t>(length) * 1000000000u;
    bool running = true;

    // Read group; its best is stored into all three arrays until the write
    // and copy groups replace it.
    pass.best = 0;
    Kernels::WarmCache(source, warmLength);
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadMmx(source, length); });
    if (running) Kernels::WarmCache(source, warmLength);
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadMmxPrefetch(source, length); });
    if (state.hasSse2) {
      if (running) Kernels::WarmCache(source, warmLength);
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadSse2Prefetch(source, length); });
      if (running) Kernels::WarmCache(source, warmLength);
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadSse2(source, length); });
    }
    if (state.hasSse) {
      if (running) Kernels::WarmCache(source, warmLength);
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadSse(source, length); });
      if (running) Kernels::WarmCache(source, warmLength);
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::ReadSsePrefetch(source, length); });
    }
    if (!running) return SweepStopped;
    StoreWhole(&state.readRates[i], pass.best);
    StoreWhole(&state.writeRates[i], pass.best);
    StoreWhole(&state.copyRates[i], pass.best);

    // Write group: only its first test has a warm-up.
    pass.best = 0;
    Kernels::TouchBuffer(destination, warmLength);
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::WriteMmx(destination, length); });
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::WriteMmxNonTemporal(destination, length); });
    if (state.hasSse2) {
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::WriteSse2NonTemporal(destination, length); });
      running = running && TimePasses<Kernels>(pass, 10, [&] { Kernels::WriteSse2(destination, length); });
    }
    if (state.hasSse) {
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::WriteSseNonTemporal(destination, length); });
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::WriteSse(destination, length); });
    }
    if (!running) return SweepStopped;
    StoreWhole(&state.writeRates[i], pass.best);

    // Copy group; CopySse2 runs as two tests of its own.
    pass.best = 0;
    Kernels::WarmCache(source, warmLength);
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::CopyMmxNonTemporal(source, destination, length); });
    if (running) Kernels::WarmCache(source, warmLength);
    running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::CopyMmx(source, destination, length); });
    if (state.hasSse2) {
      for (int repeat = 0; repeat < 2 && running; ++repeat) {
        Kernels::WarmCache(source, warmLength);
        running = TimePasses<Kernels>(pass, 0, [&] { Kernels::CopySse2(source, destination, length); });
      }
    }
    if (state.hasSse) {
      if (running) Kernels::WarmCache(source, warmLength);
      running = running && TimePasses<Kernels>(pass, 0, [&] { Kernels::CopySseNonTemporal(source, destination, length); });
    }
    if (!running) return SweepStopped;
    StoreWhole(&state.copyRates[i], pass.best);
  }
  return SweepCompleted;
}
