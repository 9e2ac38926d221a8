// Latency of one dependent load: the lines of a block linked in one random
// cycle and walked pointer by pointer, so that each load waits for the one
// before it and neither the compiler nor the prefetchers can run ahead.
#pragma once
#include <atomic>
#include <cstdint>

// Links the lineCount lines of lineSize bytes at buffer into one random cycle
// (Sattolo's algorithm over a permutation of all lines, from a seeded generator):
// the first pointer-sized slot of each line holds the address of the next line.
// lineSize >= sizeof(void*), buffer writable, lineCount >= 1 (otherwise nothing is written).
// Looks at stop (when not null) every chaseLookLoads lines; false when it was
// raised, the buffer then holding no whole cycle.
bool BuildChaseCycle(void* buffer, uint64_t lineCount, uint32_t lineSize, uint64_t seed,
                     const std::atomic<bool>* stop = nullptr);

// Follows loadCount dependent loads from start and returns where it ended (so nothing can be dropped).
extern "C" const void* ChaseLoads(const void* start, uint64_t loadCount);  // assembly: survey/chase.S

// The walk is cut into batches of this many loads, with a look at the stop
// request between them: at most 50 ms at 500 ns a load, and one call and one
// flag read per 64 Ki loads cost nothing measurable.
const uint64_t chaseLookLoads = uint64_t{1} << 16;


// Picoseconds per load of `loads` loads that took `ticks` counter ticks at
// tscHz, rounded down; 0 when loads or tscHz is 0.
uint64_t PicosecondsPerLoad(uint64_t ticks, uint64_t loads, uint64_t tscHz);

// The latency of one dependent load over the first byteCount bytes of buffer (rounded down to whole lines),
// in picoseconds: the cycle built once, one untimed turn, then the best of `repeats` timed runs, each
// of enough loads to last at least minTicks time-stamp ticks (and at least one whole turn), the counter
// read with serialising fences (lfence; rdtsc; lfence) around the walk. tscHz converts ticks to time.
// 0 when nothing can be measured (no whole line, lineSize < sizeof(void*), repeats or tscHz 0) or
// when stop (when not null) was raised: it is looked at every chaseLookLoads loads or lines linked.
uint64_t MeasureChaseLatencyPicoseconds(void* buffer, uint64_t byteCount, uint32_t lineSize,
                                        uint64_t minTicks, uint32_t repeats, uint64_t tscHz,
                                        const std::atomic<bool>* stop = nullptr);
