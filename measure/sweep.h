// The measurement sweep: clock rate, call overhead, then every block length
// timed with every applicable kernel, keeping the best pass of each group.
#pragma once
#include <cstdint>

// Thread entry of one sweep; window is handed back to NotifyMeasurementDone.
// Returns 0.
uint32_t MeasurementThread(void* window);

// Tells the window that a sweep is complete. Each program binds it to its own
// window (a posted message, a main-loop callback, an event); it must not wait
// for the window to handle the notice.
void NotifyMeasurementDone(void* window);

// Rate in bytes per second of one timed pass: ticks = t1 - t0 - overhead
// (wrapping), nanoseconds = ticks * 10^9 / clockHz (product modulo 2^64, 0
// counted as 1), rate = scaledLength / nanoseconds. clockHz must not be 0.
uint64_t PassRate(uint64_t tickDifference, uint64_t overhead, uint64_t clockHz, uint64_t scaledLength);

// True when a sweep can run on the current state: a known clock rate, both
// buffers large enough for the warm-ups and the longest block, and all three
// result arrays.
bool SweepCanRun();

enum SweepOutcome { SweepCompleted, SweepRefused, SweepStopped };
