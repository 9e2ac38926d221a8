#include "survey/survey_stages.h"

#include "survey/team.h"

namespace {
// A run's placement over the machine's layout: bound, or left to the
// scheduler. The counts were checked against the layout's processors.
SurveyPlacement Placed(const SurveyMachine& machine, uint32_t threads, bool bind) {
  SurveyPlacement placement;
  std::string unused;
  PlaceSurveyRun(machine.layout, machine.caches, threads, bind, &placement, &unused);
  return placement;
}

void EndStage(const SurveyStageCalls& calls) {
  if (calls.stageEnded != nullptr) calls.stageEnded(calls.context);
}
}  // namespace

SurveyOutcome RunSurveyStages(SurveyRecord* record, const std::vector<uint32_t>& threadCounts, bool allowUnbound,
                              const SurveyStageCalls& calls, std::string* error) {
  const SurveyMachine& machine = record->machine;
  const SurveyPlan plan = PlanSurvey(record->settings, machine);
  SurveyOutcome outcome = SurveyCompleted;
  for (size_t i = 0; i < threadCounts.size() && outcome == SurveyCompleted; ++i) {
    error->clear();
    SurveyRun run;
    outcome = MeasureSurveyRun(*record, plan, Placed(machine, threadCounts[i], true), calls.progress, calls.context,
                               &run, error);
    if (outcome == SurveyNoThreads && allowUnbound && SurveyTeamBindingFailed()) {
      if (calls.retryingUnbound != nullptr) calls.retryingUnbound(*error, calls.context);
      outcome = MeasureSurveyRun(*record, plan, Placed(machine, threadCounts[i], false), calls.progress,
                                 calls.context, &run, error);
    }
    if (outcome == SurveyCompleted) record->runs.push_back(run);
    EndStage(calls);
  }
  // Latency is a one-thread figure: measured once, where the first thread runs.
  if (outcome == SurveyCompleted && record->settings.latency) {
    error->clear();
    outcome = MeasureSurveyLatency(*record, plan, Placed(machine, 1, true), calls.progress, calls.context,
                                   &record->latency, error);
    if (outcome == SurveyNoThreads && allowUnbound && SurveyTeamBindingFailed())
      outcome = MeasureSurveyLatency(*record, plan, Placed(machine, 1, false), calls.progress, calls.context,
                                     &record->latency, error);
    EndStage(calls);
  }
  return outcome;
}
