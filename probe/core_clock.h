// The core clock, measured: a chain of dependent additions, one core cycle
// each, timed against the system's steady high-resolution counter.
#pragma once
#include <cstdint>

// Runs iterations * additionsPerIteration dependent additions of 1 and returns
// their sum (probe/addition_chain.S).
extern "C" uint32_t RunAdditionChain(uint32_t iterations);
const uint32_t additionsPerIteration = 64;

// Cycles per second from a chain of additions (one cycle each) and the
// nanoseconds it took; 0 when no time passed.
uint64_t CoreClockFromChain(uint64_t additions, uint64_t elapsedNanoseconds);

// Core cycles per second, measured: a chain of dependent additions of known
// length (one cycle each) timed against the steady clock, the best (shortest)
// of a few runs of about 2 ms; 0 when it cannot be measured.
uint64_t MeasureCoreClockHz();
