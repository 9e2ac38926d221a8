// A survey measured on a worker thread for a window: the worker publishes
// copied snapshots of what it has measured, swapped in under a lock held only
// for the swap; the window takes the current snapshot and draws from it
// without the lock. The measuring thread never waits for a paint, and a
// paint never sees a half-written run.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/sweep/survey_report.h"
#include "survey/survey.h"

// What the window lets the user choose; the rest of settings keeps the
// headless tool's defaults.
struct SurveyWindowSettings {
  SurveySettings settings;         // maxSize 0: the default; wantedIsas from isaWord
  std::string threadsText = "1";   // N, all, or a list, as --threads takes it
  std::string isaWord = "all";
};

// Everything a paint or a save needs, copied at one moment.
struct SurveySnapshot {
  uint64_t serial = 0;           // counts the snapshots published
  bool running = false;          // the worker is measuring
  SurveyRecord record;           // the machine, the settings, the finished runs and latency
  SurveyFacts facts;             // elapsed: since the survey started, until this snapshot
  bool partialRun = false;       // run holds the run being measured, its levels from the passes so far
  SurveyRun run;
  bool partialLatency = false;   // latency holds the chase so far, 0 at lengths not yet reached
  SurveyLatency latency;
  // Progress of the stage being measured.
  uint32_t stage = 0, stageCount = 0;  // 1-based; runs first, then the latency
  uint32_t pass = 0, passes = 0;
  uint64_t length = 0;
  uint32_t percent = 0;                // of the stage's estimated work
  uint64_t remainingMilliseconds = 0;  // of the stage, estimated
  // How the survey ended, once it has.
  bool ended = false;
  SurveyOutcome outcome = SurveyCompleted;
  std::string error;  // one line for the user when it could not run
};

struct SurveySession {
  std::thread worker;
  std::atomic<bool> stopRequested{false};
  std::mutex swapLock;  // held only to swap or take current
  std::shared_ptr<const SurveySnapshot> current;
  uint64_t published = 0;  // the last serial, under swapLock
};

// Starts a survey with settings unless one runs; false when one runs.
bool StartSurvey(SurveySession& session, const SurveyWindowSettings& settings);
// Asks a running survey to stop at its next measurement and waits for its
// thread; the finished runs stay in the last snapshot. Also joins a worker
// that has ended by itself.
void StopSurvey(SurveySession& session);
// True while a worker thread exists that has not been joined.
bool SurveyWorkerExists(const SurveySession& session);
// The current snapshot; null before the first survey.
std::shared_ptr<const SurveySnapshot> CurrentSurveySnapshot(SurveySession& session);
