#include "app/sweep/run_control.h"

#include <csignal>
#include <cstdio>
#include <ctime>

#include "app/sweep/output_files.h"
#include "platform/os.h"

namespace {
// Polled between measurements; the flag also by the survey's stages within them.
volatile std::sig_atomic_t stopSignal = 0;
std::atomic<bool> stopRaised{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may only store to a lock-free atomic");
// The number first, so that whoever sees the flag finds the signal's name.
void OnStopSignal(int number) {
  stopSignal = number;
  stopRaised.store(true);
}
}  // namespace

void CatchStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, OnStopSignal);
#endif
}

int StopSignal() { return stopSignal; }

const std::atomic<bool>* StopSignalRaised() { return &stopRaised; }

std::string StopSignalName(int number) {
  if (number == SIGINT) return "SIGINT";
  if (number == SIGTERM) return "SIGTERM";
#ifdef SIGHUP
  if (number == SIGHUP) return "SIGHUP";
#endif
  return "signal " + std::to_string(number);
}

std::string UtcDateNow() {
  const std::time_t moment = std::time(nullptr);
  char text[32] = "";
  const std::tm* utc = std::gmtime(&moment);
  if (utc != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
  return text;
}

uint64_t MillisecondsSince(uint64_t start) {
  return (ReadPerformanceCounter() - start) * 1000 / PerformanceCounterFrequency();
}

std::string MinutesSeconds(uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(milliseconds / 60000),
                static_cast<unsigned long long>(milliseconds / 1000 % 60));
  return text;
}

int RefuseInput(const std::string& message) {
  std::fprintf(stderr, "lorvanta-sweep: %s\n", message.c_str());
  return 2;
}

bool ProgressLineDue(ProgressDisplay* display, bool last, uint64_t* elapsed) {
  if (!display->terminal) return false;
  *elapsed = MillisecondsSince(display->start);
  if (!last && *elapsed < display->lastShown + 200) return false;
  display->lastShown = *elapsed;
  return true;
}

int EndWithoutResults(bool stopped, const std::string& error, ClaimedFile* csv, ClaimedFile* picture) {
  AbandonOutputFile(csv);
  AbandonOutputFile(picture);
  if (stopped) {
    const int number = StopSignal();
    std::fprintf(stderr, "lorvanta-sweep: stopped by %s; nothing written\n", StopSignalName(number).c_str());
    return 128 + number;
  }
  std::fprintf(stderr, "lorvanta-sweep: %s\n", error.c_str());
  return 1;
}
