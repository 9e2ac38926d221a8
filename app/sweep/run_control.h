// What the headless tool's long modes (survey, core-to-core) share while
// they run: the signals that stop them, so that they can remove their
// partial files, and the times their progress line shows.
#pragma once
#include <cstdint>
#include <string>

// The terminal's interrupt, a polite kill and a closed terminal (SIGINT,
// SIGTERM, SIGHUP; Windows has no SIGHUP) no longer end the process: they
// are recorded for StopSignal to tell.
void CatchStopSignals();
// The signal that asked the run to stop; 0 while none has.
int StopSignal();
// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string StopSignalName(int number);

// "2026-12-07T12:34:56Z": now in UTC, to the second.
std::string UtcDateNow();
// Milliseconds since start, a reading of the performance counter.
uint64_t MillisecondsSince(uint64_t start);
// "1:05" from milliseconds.
std::string MinutesSeconds(uint64_t milliseconds);
