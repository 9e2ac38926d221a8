// The survey's measuring stages in the order every front end runs them: a run
// per thread count, each retried unbound where binding failed and that is
// allowed, then the latency on one thread. The headless tool and the window
// share them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "survey/survey.h"

// What the caller sees of the stages: progress between measurements (false
// stops), a note when a run is retried unbound, and the end of each stage
// (a run or the latency) whatever its outcome. Null hooks are skipped.
struct SurveyStageCalls {
  SurveyProgressFunction progress;
  void* context;
  void (*retryingUnbound)(const std::string& reason, void* context);
  void (*stageEnded)(void* context);
};

// Plans record's survey and measures a run per entry of threadCounts into
// record->runs, then, when record->settings.latency, the latency into
// record->latency. A stage whose threads cannot be bound is measured again
// unbound when allowUnbound. Ends at the first stage that does not complete,
// with its outcome and, for SurveyNoThreads and SurveyNoLengths, the reason in
// error.
SurveyOutcome RunSurveyStages(SurveyRecord* record, const std::vector<uint32_t>& threadCounts, bool allowUnbound,
                              const SurveyStageCalls& calls, std::string* error);
