// Runs one real sweep and, in the same run, times the independent intrinsic
// reference loops at some of the sweep's block lengths with the system's
// steady clock (not the time-stamp counter); prints both rates and their
// ratio. The sweep's figures are trustworthy when the ratios stay near 100%.
// Run it on a quiet machine: a second busy process moves either side.
#include <chrono>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/reference_kernels.h"
#include "measure/sweep.h"
#include "probe/processor.h"
#include "record/state.h"

void NotifyMeasurementDone(void*) {}

namespace {
using Clock = std::chrono::steady_clock;

uint64_t Nanoseconds(Clock::time_point from, Clock::time_point to) {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count());
}

// Mean cost of reading the steady clock twice around nothing.
uint64_t ClockOverhead() {
  uint64_t sum = 0;
  for (int i = 0; i < 1000; ++i) {
    const Clock::time_point start = Clock::now();
    sum += Nanoseconds(start, Clock::now());
  }
  return sum / 1000;
}

// Best rate in bytes per second of single calls, timed one by one with the
// steady clock less its own cost: the same best-pass rule as the sweep (30
// passes, as in three sweeps of 10), with another clock and other loops. One
// untimed call warms up first.
template <class Call>
uint64_t BestRate(uint32_t length, uint64_t overhead, Call call) {
  call();
  uint64_t best = 0;
  for (int pass = 0; pass < 30; ++pass) {
    const Clock::time_point start = Clock::now();
    call();
    const uint64_t elapsed = Nanoseconds(start, Clock::now());
    const uint64_t nanoseconds = elapsed > overhead ? elapsed - overhead : 1;
    const uint64_t rate = static_cast<uint64_t>(length) * 1000000000ull / nanoseconds;
    if (rate > best) best = rate;
  }
  return best;
}

volatile uint64_t sink;
}  // namespace

int main() {
  MeasurementState& state = measurementState;
  state.testAreaSize = 8388608;
  state.blockStep = 16384;
  ProbeProcessor();
  ResetResultArrays();
  if (state.sourceBuffer == nullptr || !ResultArraysExist()) {
    std::fprintf(stderr, "cannot allocate the buffers\n");
    return 1;
  }
  // Three sweeps, keeping each entry's best, as three times the passes would:
  // both sides then report a peak that noise from other processes rarely hides.
  const uint32_t blocks = BlockCount();
  std::vector<uint64_t> best[3] = {std::vector<uint64_t>(blocks), std::vector<uint64_t>(blocks),
                                   std::vector<uint64_t>(blocks)};
  for (int sweep = 0; sweep < 3; ++sweep) {
    MeasurementThread(nullptr);
    if (state.clockHz == 0) {
      std::fprintf(stderr, "no clock rate\n");
      return 1;
    }
    const uint64_t* arrays[3] = {state.readRates, state.writeRates, state.copyRates};
    for (int group = 0; group < 3; ++group)
      for (uint32_t i = 0; i < blocks; ++i) best[group][i] = std::max(best[group][i], arrays[group][i]);
  }

  struct Level {
    const char* name;
    uint32_t block;
  };
  // Blocks of the sweep: 18 KiB sits in any first-level cache, 258 KiB in a
  // second-level cache of 512 KiB or more, the last block far beyond it.
  const Level levels[] = {{"L1", 1}, {"L2", 16}, {"beyond L2", BlockCount() - 1}};
  const char* groups[] = {"read", "write", "copy"};
  const uint8_t* source = state.sourceBuffer;
  uint8_t* destination = state.destinationBuffer;

  std::printf("clock %llu Hz, L1 %u KiB, L2 %u KiB\n", static_cast<unsigned long long>(state.clockHz),
              state.l1CacheSize / 1024, state.l2CacheSize / 1024);
  std::printf("%-10s %10s %-6s %14s %14s %7s\n", "level", "bytes", "group", "sweep MB/s", "reference MB/s", "ratio");
  const uint64_t overhead = ClockOverhead();
  for (const Level& level : levels) {
    const uint32_t length = BlockLength(level.block);
    const uint64_t reference[3] = {
        std::max(BestRate(length, overhead, [&] { sink = ReferenceRead(source, length); }),
                 BestRate(length, overhead, [&] { sink = ReferenceReadPrefetch(source, length); })),
        std::max(BestRate(length, overhead, [&] { ReferenceWrite(destination, length); }),
                 BestRate(length, overhead, [&] { ReferenceWriteNonTemporal(destination, length); })),
        std::max(BestRate(length, overhead, [&] { ReferenceCopy(source, destination, length); }),
                 BestRate(length, overhead, [&] { ReferenceCopyNonTemporal(source, destination, length); })),
    };
    const uint64_t sweep[3] = {best[0][level.block], best[1][level.block], best[2][level.block]};
    for (int group = 0; group < 3; ++group) {
      std::printf("%-10s %10u %-6s %14llu %14llu %6llu%%\n", level.name, length, groups[group],
                  static_cast<unsigned long long>(sweep[group] / 1000000),
                  static_cast<unsigned long long>(reference[group] / 1000000),
                  static_cast<unsigned long long>(sweep[group] * 100 / (reference[group] ? reference[group] : 1)));
    }
  }
  ReleaseTestBuffers();
  return 0;
}
