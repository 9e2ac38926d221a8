// An injected delay of a chosen number of core cycles: a chain of dependent
// additions (one cycle each), and how long one delay really takes, measured.
#pragma once
#include <cstdint>

// Runs rounds * delayAdditionsPerRound dependent additions of 1 and returns
// their sum (probe/delay_chain.S).
extern "C" uint32_t RunDelayChain(uint32_t rounds);
const uint32_t delayAdditionsPerRound = 16;

// The rounds that make a delay of delayCycles: delayCycles / 16, rounded down.
inline uint32_t DelayRounds(uint32_t delayCycles) { return delayCycles / delayAdditionsPerRound; }

// Core cycles one call took, in hundredths: `calls` calls that lasted `ticks`
// time-stamp ticks at tscHz, on a core clocked at coreHz. 0 when calls,
// tscHz or coreHz is 0.
uint64_t DelayCyclesHundredths(uint64_t ticks, uint64_t calls, uint64_t tscHz, uint64_t coreHz);

// What one delay of `rounds` rounds costs on the calling thread's core, in
// hundredths of a core cycle, call and loop included as a traffic loop pays
// them: enough calls back to back for about 0.5 ms between fenced counter
// reads, converted with the core clock measured by an addition chain timed
// right before each run; the shortest of nine runs and of nine chains.
// 0 for no rounds or without tscHz.
uint64_t MeasureDelayCyclesHundredths(uint32_t rounds, uint64_t tscHz);
