// The time-stamp counter read with serialising fences on both sides, so that
// no load or store of the measured code moves across the reading.
#pragma once
#include <cstdint>

inline uint64_t ReadCounterFenced() {
  uint32_t low, high;
  __asm__ __volatile__("lfence\n\trdtsc\n\tlfence" : "=a"(low), "=d"(high)::"memory");
  return (static_cast<uint64_t>(high) << 32) | low;
}
