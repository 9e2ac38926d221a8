#include "survey/timing.h"

#include "display/exact_arithmetic.h"
#include "platform/survey/memory.h"
#include "probe/time_stamp.h"
#include "survey/stop_request.h"

extern "C" {
// survey/write_call_loop.S
typedef void (*WriteCallLoop)(WriteKernel kernel, void* destination, uint32_t byteCount, uint32_t calls,
                              const void* pattern);
void CallWriteKernelLoadingMm(WriteKernel, void*, uint32_t, uint32_t, const void*);
void CallWriteKernelLoadingXmm(WriteKernel, void*, uint32_t, uint32_t, const void*);
#if defined(__x86_64__)
void CallWriteKernelLoadingYmm(WriteKernel, void*, uint32_t, uint32_t, const void*);
void CallWriteKernelLoadingZmm(WriteKernel, void*, uint32_t, uint32_t, const void*);
#endif
}

namespace {
// The loop that loads the registers a write kernel stores from, by the
// registry's register file (rep stosb stores a byte of its own and uses none;
// the xmm loop costs it nothing).
WriteCallLoop CallLoopFor(const SurveyKernel& kernel) {
  switch (kernel.registers) {
    case RegMm: return CallWriteKernelLoadingMm;
#if defined(__x86_64__)
    case RegYmm: return CallWriteKernelLoadingYmm;
    case RegZmm: return CallWriteKernelLoadingZmm;
#endif
    default: return CallWriteKernelLoadingXmm;
  }
}

// calls calls of a write kernel on one block of at most a 32-bit count.
void CallWriteKernel(const SurveyKernel& kernel, uint8_t* destination, uint32_t count, uint64_t calls) {
  const WriteCallLoop loop = CallLoopFor(kernel);
  for (; calls > UINT32_MAX; calls -= UINT32_MAX)
    loop(kernel.write, destination, count, UINT32_MAX, kSurveyDataPattern.bytes);
  loop(kernel.write, destination, count, static_cast<uint32_t>(calls), kSurveyDataPattern.bytes);
}
}  // namespace

// In calls of at most 1 GiB where the length passes what a kernel's 32-bit
// count holds.
uint64_t CallKernelOnBlock(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                           const std::atomic<bool>* stop) {
  constexpr uint64_t kChunk = uint64_t{1} << 30;
  uint64_t moved = 0;
  while (length > 0 && !StopRequested(stop)) {
    const uint32_t count = static_cast<uint32_t>(length < kChunk ? length : kChunk);
    switch (kernel.group) {
      case GroupRead: kernel.read(source, count); break;
      case GroupWrite: CallWriteKernel(kernel, destination, count, 1); break;
      case GroupCopy: kernel.copy(source, destination, count); break;
    }
    moved += count - count % kernel.step;
    source += count;
    destination += count;
    length -= count;
  }
  return moved;
}

uint64_t CallsForMinimum(uint64_t calls, uint64_t ticks, uint64_t minTicks) {
  if (calls == 0) calls = 1;
  if (ticks >= minTicks) return calls;
  if (ticks == 0) return calls * 2;
  const uint64_t scaled = MulDivWide(calls, minTicks + minTicks / 8, ticks);
  return scaled > calls ? scaled : calls + 1;
}

// Blocks within a kernel's 32-bit count go straight to the routine, so the
// loop around it is a counter and an indirect call; a batch's look at the stop
// request is one flag read per kStopLookBytes moved.
TimedSpan TimeKernelCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                          uint64_t calls, const std::atomic<bool>* stop) {
  TimedSpan span{0, 0, 0};
  const uint64_t batchCalls = length >= kStopLookBytes ? 1 : kStopLookBytes / (length == 0 ? 1 : length);
  if (length <= (uint64_t{1} << 30)) {
    const uint32_t count = static_cast<uint32_t>(length);
    uint64_t done = 0;
    span.start = ReadCounterFenced();
    for (uint64_t batch = 0; done < calls; done += batch) {
      if (StopRequested(stop)) break;
      batch = calls - done < batchCalls ? calls - done : batchCalls;
      switch (kernel.group) {
        case GroupRead:
          for (uint64_t call = 0; call < batch; ++call) kernel.read(source, count);
          break;
        case GroupWrite:
          CallWriteKernel(kernel, destination, count, batch);
          break;
        case GroupCopy:
          for (uint64_t call = 0; call < batch; ++call) kernel.copy(source, destination, count);
          break;
      }
    }
    span.end = ReadCounterFenced();
    span.stopped = done < calls;
    span.bytes = (length - length % kernel.step) * done;
  } else {
    span.start = ReadCounterFenced();
    for (uint64_t call = 0; call < calls && !span.stopped; ++call) {
      span.bytes += CallKernelOnBlock(kernel, source, destination, length, stop);
      span.stopped = StopRequested(stop);
    }
    span.end = ReadCounterFenced();
  }
  return span;
}
