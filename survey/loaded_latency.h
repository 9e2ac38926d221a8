// Loaded latency: one bound thread chases a random cycle through its buffer
// while every other bound thread moves traffic over a buffer of its own,
// waiting an injected delay after every 4 KiB. Lengthening the delay lowers
// the traffic, so the chaser's latency can be read against the bandwidth the
// others take, point by point.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "survey/kernel_table.h"

enum LoadedTraffic : uint32_t { TrafficRead, TrafficWrite, TrafficCopy, TrafficMix };

// The loaders' kernels; null where the processor supports none of the kind.
struct LoadedKernels {
  const SurveyKernel* read;   // the widest read kernel without prefetches
  const SurveyKernel* write;  // the widest non-temporal write kernel
  const SurveyKernel* copy;   // the widest copy kernel, non-temporal where that width has one
};
LoadedKernels ChooseLoadedKernels(uint32_t supportedIsas);
// The kernel a loader runs on its block-th call (a block of 4 KiB, or a run
// of blocks when there is no delay between them): the traffic's own, or for
// the mix two reads and then one write, over and over.
const SurveyKernel* LoadedBlockKernel(LoadedTraffic traffic, uint64_t block, const LoadedKernels& kernels);

struct LoadedLatencySetup {
  std::vector<uint32_t> processors;  // the chaser's first, then one loader on each other; at least two
  uint64_t bufferBytes;              // every thread's buffer
  bool hugePages;                    // ask the system for huge pages
  uint32_t lineSize;                 // the chase's stride, at least a pointer
  uint64_t minTicks;                 // time-stamp ticks every point lasts at least on the chaser
  uint64_t tscHz;
  LoadedKernels kernels;
  uint32_t maxDelayCycles;  // the curve's last delay at most
  std::vector<uint32_t> delays;  // the curve's delays in order; empty: 0, 16, 32, 64, ... as below
};

struct LoadedLatencyPoint {
  uint32_t delayCycles;            // asked
  uint64_t delayCyclesHundredths;  // what one delay took on the first loader's core, measured
  uint64_t bytesPerSecond;         // all loaders' bytes over the span from the first start to the last end
  uint64_t latencyPicoseconds;     // the chaser's mean per load over its own span
};

struct LoadedLatencyCurve {
  LoadedTraffic traffic = TrafficRead;
  std::vector<LoadedLatencyPoint> points;  // ascending delay
  uint64_t coreHz = 0;         // the first loader's core clock, measured: picoseconds to cycles
  uint64_t bufferBytes = 0;    // each thread's
  uint64_t hugePageBytes = 0;  // of all threads' buffers, as the system said
  uint32_t threads = 0;        // the chaser and the loaders
  uint64_t idleLatencyPicoseconds = 0;  // the chaser alone, the loaders asleep, before the points
};

struct LoadedLatencyProgress {
  LoadedTraffic traffic;
  uint32_t delayCycles;  // of the point being measured
  uint32_t pointsDone;
  bool alone;  // the chaser's idle latency is measured, the loaders asleep
};

enum LoadedLatencyOutcome { LoadedMeasured, LoadedStopped, LoadedFailed };
// Called about every 50 ms while the threads prepare their buffers, before
// every point and about every 50 ms while it runs (always within 100 ms);
// false stops the measurement (LoadedStopped), the running point discarded.
using LoadedLatencyProgressFunction = bool (*)(const LoadedLatencyProgress&, void*);

// The delay after delayCycles on the curve: 0, 16, 32, 64, ...
uint32_t NextLoadedDelay(uint32_t delayCycles);
// Whether the curve ends after the last of these bandwidths: it fell below
// 5% of the highest.
bool LoadedCurveEnds(const std::vector<uint64_t>& bytesPerSecond);

// One point: the threads started on their processors, each buffer committed
// and first touched there; all start together, the chaser runs at least the
// minimum, then all stop together. LoadedFailed, with the reason in error,
// with fewer than two processors, without the kernel the traffic needs, or
// when a thread cannot be started or bound or a buffer committed.
LoadedLatencyOutcome MeasureLoadedLatencyPoint(const LoadedLatencySetup& setup, LoadedTraffic traffic,
                                               uint32_t delayCycles, LoadedLatencyProgressFunction onProgress,
                                               void* context, LoadedLatencyCurve* curve, std::string* error);
// The curve: first the chaser alone (its idle latency), then points with the
// same threads and buffers at the setup's delays or, without a list, at
// delays 0, 16, 32, 64, ... until the bandwidth falls below 5% of its highest
// or the next delay would pass maxDelayCycles.
LoadedLatencyOutcome MeasureLoadedLatencyCurve(const LoadedLatencySetup& setup, LoadedTraffic traffic,
                                               LoadedLatencyProgressFunction onProgress, void* context,
                                               LoadedLatencyCurve* curve, std::string* error);
