// The time-stamp counter read between two load fences, so that no earlier
// instruction is still running when it is read and no later one has started.
// Timed regions are bracketed by two of these reads.
#pragma once
#include <cstdint>

inline uint64_t ReadCounterFenced() {
  uint32_t low, high;
  __asm__ __volatile__("lfence\n\trdtsc\n\tlfence" : "=a"(low), "=d"(high)::"memory");
  return (static_cast<uint64_t>(high) << 32) | low;
}
