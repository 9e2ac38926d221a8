// The survey's timing rule: a kernel called back to back on the same block
// until at least the minimum time has passed, timed as a whole between two
// fenced counter reads; one untimed call first.
#pragma once
#include <cstdint>

#include "survey/kernel_table.h"

struct TimingRule {
  uint64_t minTicks;  // time-stamp ticks one measurement lasts at least
  uint64_t tscHz;     // time-stamp ticks per second
};

// calls back-to-back calls between two fenced counter reads. Write kernels
// are called through a loop that loads their registers from the survey's data
// pattern before every call, so that every line they store holds it.
struct TimedSpan {
  uint64_t bytes;
  uint64_t start, end;  // counter readings
};
TimedSpan TimeKernelCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                          uint64_t calls);

// One untimed call of kernel on length bytes (write kernels through the same
// register-loading loop); the bytes it moved, the length cut to whole steps.
uint64_t CallKernelOnBlock(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length);

// How many calls a measurement needs so that it lasts minTicks, from the
// ticks that `calls` calls lasted: scaled up with an eighth to spare, at
// least one more than before while short, never 0.
uint64_t CallsForMinimum(uint64_t calls, uint64_t ticks, uint64_t minTicks);

