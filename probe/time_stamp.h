// The time-stamp counter, read three ways, each for its own use:
//   ReadTimeStampCounter    a plain read, for the clock-rate calibration;
//   ReadCounterAroundKernel the exact sweep's read around every timed call: the
//                           asm is volatile, so the compiler keeps it in place;
//   ReadCounterFenced       the survey's read between two load fences, so that
//                           no earlier instruction is still running when it is
//                           read and no later one has started.
#pragma once
#include <cstdint>

inline uint64_t ReadTimeStampCounter() { return __builtin_ia32_rdtsc(); }

inline uint64_t ReadCounterAroundKernel() {
  uint32_t low, high;
  __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high)::"memory");
  return (static_cast<uint64_t>(high) << 32) | low;
}

inline uint64_t ReadCounterFenced() {
  uint32_t low, high;
  __asm__ __volatile__("lfence\n\trdtsc\n\tlfence" : "=a"(low), "=d"(high)::"memory");
  return (static_cast<uint64_t>(high) << 32) | low;
}
