// Keeps one processor busy so that power saving does not lower the clock
// between and during sweeps.
#pragma once
#include <cstdint>

// Thread function: gives up its time slice and polls powerDefeatStopEvent
// without waiting, until a poll finds it signalled; returns 0. Each signal
// ends exactly one such thread; a signal nobody polled stays pending.
uint32_t PowerDefeatThread(void* unused);

// Starts one PowerDefeatThread and lets go of its handle at once.
void StartPowerDefeatThread();
