#include "measure/sweep.h"

#include "measure/kernel_registry.h"
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
// The sweep's kernels, taken from the registry by name while compiling: each
// timed call is a direct call of the kernel's routine.
template <ReadKernel kernel> void CallRead(const void* p, uint32_t n) { kernel(p, n); }
template <WriteKernel kernel> void CallWrite(void* p, uint32_t n) { kernel(p, n); }
template <CopyKernel kernel> void CallCopy(const void* s, void* d, uint32_t n) { kernel(s, d, n); }

struct DirectKernels {
  static uint64_t Clock() { return MeasureClockFrequency(); }
  static uint64_t Counter() { return ReadCounterAroundKernel(); }
  static void EmptyKernel() { ::EmptyKernel(); }
  static void WarmCache(const void* p, uint32_t n) { ::WarmCache(p, n); }
  static void TouchBuffer(void* p, uint32_t n) { ::TouchBuffer(p, n); }
  static void ReadMmx(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadMmx")>(p, n); }
  static void ReadMmxPrefetch(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadMmxPrefetch")>(p, n); }
  static void ReadSse(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadSse")>(p, n); }
  static void ReadSsePrefetch(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadSsePrefetch")>(p, n); }
  static void ReadSse2(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadSse2")>(p, n); }
  static void ReadSse2Prefetch(const void* p, uint32_t n) { CallRead<ReadKernelNamed("ReadSse2Prefetch")>(p, n); }
  static void WriteMmx(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteMmx")>(p, n); }
  static void WriteMmxNonTemporal(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteMmxNonTemporal")>(p, n); }
  static void WriteSse(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteSse")>(p, n); }
  static void WriteSseNonTemporal(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteSseNonTemporal")>(p, n); }
  static void WriteSse2(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteSse2")>(p, n); }
  static void WriteSse2NonTemporal(void* p, uint32_t n) { CallWrite<WriteKernelNamed("WriteSse2NonTemporal")>(p, n); }
  static void CopyMmx(const void* s, void* d, uint32_t n) { CallCopy<CopyKernelNamed("CopyMmx")>(s, d, n); }
  static void CopyMmxNonTemporal(const void* s, void* d, uint32_t n) { CallCopy<CopyKernelNamed("CopyMmxNonTemporal")>(s, d, n); }
  static void CopySseNonTemporal(const void* s, void* d, uint32_t n) { CallCopy<CopyKernelNamed("CopySseNonTemporal")>(s, d, n); }
  static void CopySse2(const void* s, void* d, uint32_t n) { CallCopy<CopyKernelNamed("CopySse2")>(s, d, n); }
};
}  // namespace

uint32_t MeasurementThread(void* window) {
  // A stopped sweep ends silently; a complete or refused one tells the window,
  // which then clears its handle so that the next tick can start another.
  if (RunSweep<DirectKernels>() != SweepStopped) NotifyMeasurementDone(window);
  return 0;
}
