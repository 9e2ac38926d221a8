#include "app/survey_window/survey_session.h"

#include <chrono>

#include "app/sweep/run_control.h"
#include "app/sweep/survey_options.h"
#include "display/quantity_text.h"
#include "survey/levels.h"
#include "survey/survey_stages.h"

namespace {
using Clock = std::chrono::steady_clock;

// A snapshot at most every 100 ms: twice the repaint rate, so a paint finds
// a recent one without the worker copying for every measurement.
constexpr std::chrono::milliseconds kPublishInterval{100};

// The worker's own state; only the worker thread touches it.
struct Worker {
  SurveySession* session;
  SurveyRecord record;
  SurveyFacts facts;
  std::vector<uint32_t> threadCounts;
  Clock::time_point start, stageStart, lastPublished;
  bool stageStarting = true;
  uint32_t stage = 1;
};

uint64_t MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

void Publish(SurveySession& session, std::shared_ptr<SurveySnapshot> snapshot) {
  std::lock_guard<std::mutex> hold(session.swapLock);
  snapshot->serial = ++session.published;
  session.current = std::move(snapshot);
}

// A snapshot of the finished stages, with nothing in progress.
std::shared_ptr<SurveySnapshot> FinishedPart(const Worker& worker) {
  auto snapshot = std::make_shared<SurveySnapshot>();
  snapshot->running = true;
  snapshot->record = worker.record;
  snapshot->facts = worker.facts;
  snapshot->stage = worker.stage;
  snapshot->stageCount = static_cast<uint32_t>(worker.threadCounts.size()) + (worker.record.settings.latency ? 1 : 0);
  snapshot->facts.elapsedMilliseconds = MillisecondsBetween(worker.start, Clock::now());
  return snapshot;
}

// The run so far with its levels: during the first pass from the lengths
// measured so far alone, so that lengths not yet reached do not count as
// zero rates in a level's median; the curves keep every length, empty where
// not yet measured.
SurveyRun RunSoFar(const SurveyRun& measured, const std::vector<SurveyCache>& caches, uint32_t pass,
                   uint64_t length) {
  SurveyRun run = measured;
  ComputeSurveyLevels(caches, run);
  if (pass != 1) return run;
  SurveyRun reached = measured;
  size_t count = 0;
  while (count < measured.lengths.size() && measured.lengths[count] < length) ++count;
  reached.lengths.resize(count);
  reached.passes = 1;
  reached.passRates.clear();
  for (size_t slot = 0; slot < measured.kernels.size(); ++slot)
    for (size_t i = 0; i < count; ++i)
      reached.passRates.push_back(measured.passRates[slot * measured.lengths.size() + i]);
  ComputeSurveyLevels(caches, reached);
  run.levels = reached.levels;
  return run;
}

// The latency so far: a value at every length (0 where not yet reached) and
// each level's median over the lengths reached.
SurveyLatency LatencySoFar(const SurveyLatency& measured) {
  SurveyLatency latency = measured;
  std::vector<uint64_t> reached(measured.lengths.begin(), measured.lengths.begin() + measured.picoseconds.size());
  const std::vector<LevelShare>& shares = measured.placement.shares;
  latency.windows = LevelWindows(shares.data(), static_cast<uint32_t>(shares.size()));
  latency.levels.clear();
  for (const LevelWindow& window : latency.windows)
    latency.levels.push_back(FigureInWindow(reached, measured.picoseconds, {}, window));
  latency.picoseconds.resize(latency.lengths.size(), 0);
  latency.measured = true;
  return latency;
}

// Between measurements: stops when asked; at most every 100 ms copies the
// stage measured so far into a new snapshot.
bool OnProgress(const SurveyProgress& where, void* context) {
  Worker& worker = *static_cast<Worker*>(context);
  if (worker.session->stopRequested.load()) return false;
  const Clock::time_point now = Clock::now();
  if (worker.stageStarting) worker.stageStart = now, worker.stageStarting = false;
  const bool last = where.workDone == where.workTotal;
  if (!last && now - worker.lastPublished < kPublishInterval) return true;
  worker.lastPublished = now;
  std::shared_ptr<SurveySnapshot> snapshot = FinishedPart(worker);
  if (where.runSoFar != nullptr) {
    snapshot->partialRun = true;
    snapshot->run = RunSoFar(*where.runSoFar, worker.record.machine.caches, where.pass, where.length);
  }
  if (where.latencySoFar != nullptr) {
    snapshot->partialLatency = true;
    snapshot->latency = LatencySoFar(*where.latencySoFar);
  }
  snapshot->pass = where.pass;
  snapshot->passes = where.passes;
  snapshot->length = where.length;
  snapshot->percent = where.workTotal == 0 ? 100 : static_cast<uint32_t>(where.workDone * 100 / where.workTotal);
  const uint64_t stageElapsed = MillisecondsBetween(worker.stageStart, now);
  snapshot->remainingMilliseconds =
      where.workDone == 0 ? 0 : stageElapsed * (where.workTotal - where.workDone) / where.workDone;
  Publish(*worker.session, std::move(snapshot));
  return true;
}

void OnStageEnded(void* context) {
  Worker& worker = *static_cast<Worker*>(context);
  ++worker.stage;
  worker.stageStarting = true;
  if (worker.session->stopRequested.load()) return;
  Publish(*worker.session, FinishedPart(worker));
}

// The record and thread counts for settings, as the headless tool checks
// them: the instruction sets the machine has, thread counts it can place and
// a largest size whose buffers fit in half of the free memory. False with
// one line in error.
bool PrepareSurvey(const SurveyWindowSettings& chosen, Worker* worker, std::string* error) {
  SurveyRecord& record = worker->record;
  record.settings = chosen.settings;
  // Stop and Close reach every stage within about 100 ms of work, not only
  // between measurements.
  record.settings.stop = &worker->session->stopRequested;
  record.settings.wantedIsas = IsaMaskFromWord(chosen.isaWord.c_str());
  record.machine = ProbeSurveyMachine();
  const SurveyMachine& machine = record.machine;
  if ((machine.supportedIsas & record.settings.wantedIsas) == 0) {
    *error = "this machine does not support the instruction set " + chosen.isaWord;
    return false;
  }
  const uint32_t available =
      machine.layout.processors.empty() ? 1 : static_cast<uint32_t>(machine.layout.processors.size());
  if (!ParseThreadCounts(chosen.threadsText, available, &worker->threadCounts, error)) return false;
  return FitSurveyMaxSize("the largest size", worker->threadCounts, &record, &worker->facts.availableMemory,
                          &worker->facts.maxSizeCapped, error);
}

void RunWorker(SurveySession* session, SurveyWindowSettings chosen) {
  Worker worker{session, {}, {}, {}, Clock::now(), Clock::now(), Clock::time_point{}, true, 1};
  worker.facts.dateUtc = UtcDateNow();
  std::string error;
  SurveyOutcome outcome = SurveyNoKernels;
  const bool prepared = PrepareSurvey(chosen, &worker, &error);
  if (prepared) {
    Publish(*session, FinishedPart(worker));  // the machine's facts while the first stage starts
    const SurveyStageCalls calls{OnProgress, &worker, nullptr, OnStageEnded};
    outcome = RunSurveyStages(&worker.record, worker.threadCounts, true, calls, &error);
  }
  std::shared_ptr<SurveySnapshot> last = FinishedPart(worker);
  last->running = false;
  last->ended = true;
  last->outcome = outcome;
  if (!prepared || (outcome != SurveyCompleted && outcome != SurveyStopped))
    last->error = !error.empty() ? error : "no kernel to run on this machine";
  Publish(*session, std::move(last));
}
}  // namespace

bool StartSurvey(SurveySession& session, const SurveyWindowSettings& settings) {
  std::shared_ptr<const SurveySnapshot> now = CurrentSurveySnapshot(session);
  if (session.worker.joinable() && now != nullptr && now->running) return false;
  if (session.worker.joinable()) session.worker.join();
  session.stopRequested.store(false);
  auto starting = std::make_shared<SurveySnapshot>();
  starting->running = true;
  Publish(session, std::move(starting));
  session.worker = std::thread(RunWorker, &session, settings);
  return true;
}

void StopSurvey(SurveySession& session) {
  session.stopRequested.store(true);
  if (session.worker.joinable()) session.worker.join();
}

bool SurveyWorkerExists(const SurveySession& session) { return session.worker.joinable(); }

std::shared_ptr<const SurveySnapshot> CurrentSurveySnapshot(SurveySession& session) {
  std::lock_guard<std::mutex> hold(session.swapLock);
  return session.current;
}
