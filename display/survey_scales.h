// The scales of the survey's picture in integer arithmetic: a base-2
// logarithm in 16.16 fixed point and the logarithmic axes built on it, round
// steps for the linear rate axis, and the texts of its figures (GB/s, ns).
#pragma once
#include <cstdint>

#include "display/format.h"

constexpr int64_t kLogOne = 65536;  // log2 of 2 in 16.16 fixed point

// log2(value) in 16.16 fixed point, truncated: the highest set bit gives the
// whole part, 16 squarings of the mantissa the fraction. 0 for 0 and 1.
int64_t Log2Fixed(uint64_t value);

// A logarithmic axis: the value whose logarithm is low sits at origin, high
// at origin + extent (extent negative for an axis that runs upwards).
// high > low.
struct LogAxis {
  int64_t low, high;  // 16.16 logarithms
  int32_t origin, extent;
};
int32_t LogAxisPosition(const LogAxis& axis, uint64_t value);

// rate * extent / top, truncated, for rate <= top, top > 0 and extent >= 0;
// the operands lose low bits rather than overflow.
int32_t LinearOffset(uint64_t rate, uint64_t top, int32_t extent);

// The smallest step of 1, 2 or 5 times a power of ten, at least leastStep (a
// power of ten), of which at most maxSteps (at least 1) rise above maxValue
// (at most 10^18): maxValue / step + 1 <= maxSteps.
uint64_t RoundStep(uint64_t maxValue, uint32_t maxSteps, uint64_t leastStep);

// RoundStep for a rate axis in bytes per second: at least 10^7 (0.01 GB/s).
uint64_t RoundRateStep(uint64_t maxRate, uint32_t maxSteps);

// The decimals that show every multiple of step in unit exactly, for a step
// of 1, 2 or 5 times a power of ten: 0 from unit on, 1 from unit / 10, else 2.
uint32_t StepDecimals(uint64_t step, uint64_t unit);

// value / unit rounded to decimals places (at most 6) as DecimalText rounds,
// then suffix, e.g. (70250000000, 10^9, 2, " GB/s") -> "70.25 GB/s".
void FormatScaledDecimal(uint64_t value, uint64_t unit, uint32_t decimals, const wchar_t* suffix,
                         TextBuffer& textBuffer);

// A rate in decimal GB/s: two decimals below 100 GB/s, one from there on.
void FormatGigabytesPerSecond(uint64_t rate, TextBuffer& textBuffer);

// A latency in nanoseconds: two decimals below 10 ns, one below 100 ns, none
// from there on.
void FormatNanoseconds(uint64_t picoseconds, TextBuffer& textBuffer);
