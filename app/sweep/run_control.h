// What the headless tool's modes share while they run: the line that refuses
// bad input, the signals that stop the long modes (survey, core-to-core) so
// that they can remove their partial files, and their progress line's pacing
// and times.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// The terminal's interrupt, a polite kill and a closed terminal (SIGINT,
// SIGTERM, SIGHUP; Windows has no SIGHUP) no longer end the process: they
// are recorded for StopSignal to tell.
void CatchStopSignals();
// The signal that asked the run to stop; 0 while none has.
int StopSignal();
// Raised with it, for the survey's stages to look at (SurveySettings::stop).
const std::atomic<bool>* StopSignalRaised();
// "SIGINT", "SIGTERM", "SIGHUP", or "signal N".
std::string StopSignalName(int number);

// One line on stderr ("lorvanta-sweep: message") for bad input; returns the
// exit code 2.
int RefuseInput(const std::string& message);

struct ClaimedFile;
// A mode's run that ended without results: the claimed files removed, then
// the stop by a signal named on one line ("stopped by SIGINT; nothing
// written", 128 + its number) or the failure's line (1).
int EndWithoutResults(bool stopped, const std::string& error, ClaimedFile* csv, ClaimedFile* picture);

// A progress line on stderr, shown only on a terminal and at most five times
// a second.
struct ProgressDisplay {
  bool terminal;
  uint64_t start;  // performance counter at the run's start
  uint64_t lastShown;
};
// Whether the line is due now (always for the last one); *elapsed gets the
// milliseconds since the start.
bool ProgressLineDue(ProgressDisplay* display, bool last, uint64_t* elapsed);

// "2026-12-07T12:34:56Z": now in UTC, to the second.
std::string UtcDateNow();
// Milliseconds since start, a reading of the performance counter.
uint64_t MillisecondsSince(uint64_t start);
// "1:05" from milliseconds.
std::string MinutesSeconds(uint64_t milliseconds);
