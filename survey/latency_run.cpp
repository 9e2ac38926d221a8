// The survey's latency: a pointer chase at every length on one thread alone.
#include "survey/survey.h"

#include "display/exact_arithmetic.h"
#include "survey/chase.h"
#include "survey/lengths.h"
#include "survey/stop_request.h"
#include "survey/team.h"

SurveyOutcome MeasureSurveyLatency(const SurveyRecord& record, const SurveyPlan& plan, const SurveyPlacement& placement,
                                   SurveyProgressFunction progress, void* context, SurveyLatency* result,
                                   std::string* error) {
  const SurveySettings& settings = record.settings;
  const std::vector<SurveyCache>& caches = record.machine.caches;
  const uint64_t tscHz = record.machine.tscHz;
  SurveyLatency latency;
  latency.placement = placement;
  latency.lengths = plan.lengths;
  if (latency.lengths.empty()) {
    *error = "no block length: the largest size is below 2 KiB";
    return SurveyNoLengths;
  }
  const std::vector<uint32_t> processors = PlacedProcessors(placement);
  if (!StartSurveyTeam(1, placement.bound ? &processors : nullptr, latency.lengths.back(), settings.hugePages, error,
                       settings.stop))
    return StopRequested(settings.stop) ? SurveyStopped : SurveyNoThreads;
  const uint32_t lineSize =
      caches.empty() || caches[0].lineSize < sizeof(void*) ? 64 : caches[0].lineSize;
  const uint64_t minTicks = MulDivWide(settings.minTimeNanoseconds, tscHz, 1000000000u);
  SurveyProgress where{0, 0, 0, 1, 1, true, nullptr, &latency};
  for (uint64_t length : latency.lengths) where.workTotal += EstimatedWork(length, settings) * settings.repeats;
  SurveyOutcome outcome = SurveyCompleted;
  for (uint64_t length : latency.lengths) {
    where.length = length;
    if (progress != nullptr && !progress(where, context)) {
      outcome = SurveyStopped;
      break;
    }
    const uint64_t picoseconds = MeasureChaseLatencyPicoseconds(TeamLeaderScratchBuffer(), length, lineSize, minTicks,
                                                                settings.repeats, tscHz, settings.stop);
    // A chase the stop request cut short is no measurement.
    if (StopRequested(settings.stop)) {
      outcome = SurveyStopped;
      break;
    }
    latency.picoseconds.push_back(picoseconds);
    where.workDone += EstimatedWork(length, settings) * settings.repeats;
  }
  if (outcome == SurveyCompleted) {
    latency.coreHz = MeanOfMeasured(MeasureTeamCoreClocks(nullptr, tscHz));
    // A stop raised while the clock was measured still ends the latency.
    if (StopRequested(settings.stop)) outcome = SurveyStopped;
  }
  if (outcome == SurveyCompleted && progress != nullptr) progress(where, context);
  StopSurveyTeam();
  if (outcome != SurveyCompleted) return outcome;
  latency.windows = LevelWindows(placement.shares.data(), static_cast<uint32_t>(placement.shares.size()));
  for (const LevelWindow& window : latency.windows)
    latency.levels.push_back(FigureInWindow(latency.lengths, latency.picoseconds, {}, window));
  latency.measured = true;
  *result = latency;
  return SurveyCompleted;
}
