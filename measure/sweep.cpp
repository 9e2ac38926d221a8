#include "measure/sweep.h"

#include "measure/kernels.h"
#include "measure/sweep_run.h"
#include "probe/clock.h"

uint64_t PassRate(uint64_t tickDifference, uint64_t overhead, uint64_t clockHz, uint64_t scaledLength) {
  const uint64_t ticks = tickDifference - overhead;  // wraps when below the overhead
  uint64_t nanoseconds = ticks * 1000000000u / clockHz;
  if (nanoseconds == 0) nanoseconds = 1;
  return scaledLength / nanoseconds;
}

bool SweepCanRun() {
  const MeasurementState& state = measurementState;
  if (LoadWhole(&state.clockHz) == 0) return false;
  if (state.sourceBuffer == nullptr || state.destinationBuffer == nullptr) return false;
  if (!ResultArraysExist()) return false;
  if (state.blockStep == 0) return false;  // BlockCount divides by it
  const uint32_t blocks = BlockCount();
  if (blocks == 0) return false;
  // Every block and every warm-up must stay inside the buffers.
  const uint64_t longestBlock = static_cast<uint64_t>(state.blockStep) * (blocks - 1) + 2048u;
  return longestBlock <= state.testBufferSize && state.l2CacheSize <= state.testBufferSize;
}

namespace {
// The real kernels, called directly.
struct DirectKernels {
  static uint64_t Clock() { return MeasureClockFrequency(); }
  static uint64_t Counter() { return ReadCounterAroundKernel(); }
  static void EmptyKernel() { ::EmptyKernel(); }
  static void WarmCache(const void* p, uint32_t n) { ::WarmCache(p, n); }
  static void TouchBuffer(void* p, uint32_t n) { ::TouchBuffer(p, n); }
  static void ReadMmx(const void* p, uint32_t n) { ::ReadMmx(p, n); }
  static void ReadMmxPrefetch(const void* p, uint32_t n) { ::ReadMmxPrefetch(p, n); }
  static void ReadSse(const void* p, uint32_t n) { ::ReadSse(p, n); }
  static void ReadSsePrefetch(const void* p, uint32_t n) { ::ReadSsePrefetch(p, n); }
  static void ReadSse2(const void* p, uint32_t n) { ::ReadSse2(p, n); }
  static void ReadSse2Prefetch(const void* p, uint32_t n) { ::ReadSse2Prefetch(p, n); }
  static void WriteMmx(void* p, uint32_t n) { ::WriteMmx(p, n); }
  static void WriteMmxNonTemporal(void* p, uint32_t n) { ::WriteMmxNonTemporal(p, n); }
  static void WriteSse(void* p, uint32_t n) { ::WriteSse(p, n); }
  static void WriteSseNonTemporal(void* p, uint32_t n) { ::WriteSseNonTemporal(p, n); }
  static void WriteSse2(void* p, uint32_t n) { ::WriteSse2(p, n); }
  static void WriteSse2NonTemporal(void* p, uint32_t n) { ::WriteSse2NonTemporal(p, n); }
  static void CopyMmx(const void* s, void* d, uint32_t n) { ::CopyMmx(s, d, n); }
  static void CopyMmxNonTemporal(const void* s, void* d, uint32_t n) { ::CopyMmxNonTemporal(s, d, n); }
  static void CopySseNonTemporal(const void* s, void* d, uint32_t n) { ::CopySseNonTemporal(s, d, n); }
  static void CopySse2(const void* s, void* d, uint32_t n) { ::CopySse2(s, d, n); }
};
}  // namespace

uint32_t MeasurementThread(void* window) {
  // A stopped sweep ends silently; a complete or refused one tells the window,
  // which then clears its handle so that the next tick can start another.
  if (RunSweep<DirectKernels>() != SweepStopped) NotifyMeasurementDone(window);
  return 0;
}
