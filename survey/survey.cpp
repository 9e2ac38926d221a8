#include "survey/survey.h"

#include "display/exact_arithmetic.h"
#include "survey/lengths.h"
#include "survey/stop_request.h"
#include "survey/team.h"
#include "survey/timing.h"

uint64_t EstimatedWork(uint64_t length, const SurveySettings& settings) {
  const uint64_t callNanoseconds = length / 8;
  const uint64_t measurement =
      callNanoseconds > settings.minTimeNanoseconds ? callNanoseconds : settings.minTimeNanoseconds;
  return measurement + callNanoseconds;
}

uint64_t DefaultMaxSize(uint64_t lastLevelBytes, uint64_t availableBytes, bool* capped) {
  uint64_t size = uint64_t{64} << 20;
  if (8 * lastLevelBytes > size) size = 8 * lastLevelBytes;
  *capped = availableBytes != 0 && 2 * size > availableBytes / 2;
  if (*capped) size = availableBytes / 4 / kSurveyLengthGranule * kSurveyLengthGranule;
  return size;
}

std::vector<uint32_t> PlacedProcessors(const SurveyPlacement& placement) {
  std::vector<uint32_t> processors;
  for (const ThreadPlace& thread : placement.threads) processors.push_back(thread.processor);
  return processors;
}

uint64_t MeanOfMeasured(const std::vector<uint64_t>& values) {
  uint64_t sum = 0, count = 0;
  for (uint64_t value : values)
    if (value != 0) sum += value, ++count;
  return count == 0 ? 0 : sum / count;
}

namespace {
// The kernel of the widest registers among the run's, for the clock
// measurement: a core may lower its clock while such instructions run.
const SurveyKernel& WidestKernel(const std::vector<uint32_t>& kernels) {
  const SurveyKernel* widest = &surveyKernels[kernels[0]];
  for (uint32_t index : kernels)
    if (surveyKernels[index].isa != IsaRep && (widest->isa == IsaRep || surveyKernels[index].isa > widest->isa))
      widest = &surveyKernels[index];
  return *widest;
}

}  // namespace

SurveyPlan PlanSurvey(const SurveySettings& settings, const SurveyMachine& machine) {
  SurveyPlan plan;
  uint32_t indices[64];
  const uint32_t kernelCount = SelectSurveyKernels(machine.supportedIsas, settings.wantedIsas, indices, 64);
  plan.kernels.assign(indices, indices + kernelCount);
  plan.lengths = SurveyLengths(settings.maxSize, settings.pointsPerDoubling);
  return plan;
}

SurveyOutcome MeasureSurveyRun(const SurveyRecord& record, const SurveyPlan& plan, const SurveyPlacement& placement,
                               SurveyProgressFunction progress, void* context, SurveyRun* result, std::string* error) {
  const SurveySettings& settings = record.settings;
  const uint64_t tscHz = record.machine.tscHz;
  SurveyRun run;
  run.threads = placement.threadCount;
  run.placement = placement;
  run.kernels = plan.kernels;
  run.lengths = plan.lengths;
  const uint32_t kernelCount = static_cast<uint32_t>(run.kernels.size());
  const size_t lengthCount = run.lengths.size();
  if (kernelCount == 0) return SurveyNoKernels;
  if (lengthCount == 0) {
    *error = "no block length: the largest size is below 2 KiB";
    return SurveyNoLengths;
  }
  run.passes = settings.repeats;
  run.passRates.assign(uint64_t{run.passes} * kernelCount * lengthCount, 0);
  const std::vector<uint32_t> processors = PlacedProcessors(placement);
  if (!StartSurveyTeam(run.threads, placement.bound ? &processors : nullptr, run.lengths.back(), settings.hugePages,
                       error, settings.stop))
    return StopRequested(settings.stop) ? SurveyStopped : SurveyNoThreads;
  run.hugePageBytes = TeamHugePageBytes();

  // One measurement per kernel, length and pass; the repeats are the passes.
  const TimingRule onePass{MulDivWide(settings.minTimeNanoseconds, tscHz, 1000000000u), tscHz};
  SurveyProgress where{0, 0, 0, 0, 0, false, &run, nullptr};
  for (uint64_t length : run.lengths) where.workTotal += EstimatedWork(length, settings) * settings.repeats * kernelCount;

  // The repeats are spread over passes through every length and kernel, so
  // that a disturbance lasting seconds cannot spoil all of a point's
  // measurements: on a shared machine another tenant on the core's second
  // hardware thread halves the cache rates while it runs.
  where.passes = settings.repeats;
  SurveyOutcome outcome = SurveyCompleted;
  for (uint32_t pass = 0; pass < settings.repeats && outcome == SurveyCompleted; ++pass) {
    where.pass = pass + 1;
    for (size_t i = 0; i < lengthCount && outcome == SurveyCompleted; ++i) {
      const uint64_t length = run.lengths[i];
      where.length = length;
      for (uint32_t slot = 0; slot < kernelCount; ++slot) {
        if (progress != nullptr && !progress(where, context)) {
          outcome = SurveyStopped;
          break;
        }
        const uint64_t rate = MeasureTeamRate(surveyKernels[run.kernels[slot]], length, onePass, settings.stop);
        // A measurement the stop request cut short is no measurement.
        if (StopRequested(settings.stop)) {
          outcome = SurveyStopped;
          break;
        }
        run.passRates[(uint64_t{pass} * kernelCount + slot) * lengthCount + i] = rate;
        where.workDone += EstimatedWork(length, settings);
      }
    }
  }
  if (outcome == SurveyCompleted) {
    run.threadCoreHz = MeasureTeamCoreClocks(&WidestKernel(run.kernels), tscHz);
    run.coreHz = MeanOfMeasured(run.threadCoreHz);
    // A stop raised while the clocks were measured still ends the run.
    if (StopRequested(settings.stop)) outcome = SurveyStopped;
  }
  if (outcome == SurveyCompleted && progress != nullptr) progress(where, context);
  StopSurveyTeam();
  if (outcome != SurveyCompleted) return outcome;
  ComputeSurveyLevels(record.machine.caches, run);
  *result = run;
  return SurveyCompleted;
}

