// The survey's timing rule: a kernel called back to back on the same block
// until at least the minimum time has passed, timed as a whole between two
// fenced counter reads; one untimed call first.
#pragma once
#include <atomic>
#include <cstdint>

#include "survey/kernel_table.h"

struct TimingRule {
  uint64_t minTicks;  // time-stamp ticks one measurement lasts at least
  uint64_t tscHz;     // time-stamp ticks per second
};

// calls back-to-back calls between two fenced counter reads. Write kernels
// are called through a loop that loads their registers from the survey's data
// pattern before every call, so that every line they store holds it.
// The calls run in batches of about kStopLookBytes (whole calls, at least
// one) with a look at stop (when not null) before each; when it is raised the
// span ends there and is marked stopped: it is no measurement.
struct TimedSpan {
  uint64_t bytes;
  uint64_t start, end;  // counter readings
  bool stopped = false;
};
TimedSpan TimeKernelCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                          uint64_t calls, const std::atomic<bool>* stop = nullptr);
// Bytes moved between two looks at the stop request: at 1 GB/s, a look every
// 34 ms; at first-level rates, one flag read every few hundred microseconds.
constexpr uint64_t kStopLookBytes = uint64_t{32} << 20;

// One untimed call of kernel on length bytes (write kernels through the same
// register-loading loop); the bytes it moved, the length cut to whole steps.
// A block past a kernel's 32-bit count is called in pieces of 1 GiB, with a
// look at stop (when not null) before each; the bytes moved until it was raised.
uint64_t CallKernelOnBlock(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                           const std::atomic<bool>* stop = nullptr);

// How many calls a measurement needs so that it lasts minTicks, from the
// ticks that `calls` calls lasted: scaled up with an eighth to spare, at
// least one more than before while short, never 0.
uint64_t CallsForMinimum(uint64_t calls, uint64_t ticks, uint64_t minTicks);

