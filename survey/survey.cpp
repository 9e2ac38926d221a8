#include "survey/survey.h"

#include "survey/arithmetic.h"
#include "survey/chase.h"
#include "survey/lengths.h"
#include "survey/team.h"
#include "survey/timing.h"

SurveyRecord surveyRecord;

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

void ComputeSurveyLevels(const std::vector<SurveyCache>& caches, SurveyRun& run) {
  std::vector<uint64_t> sizes;
  for (const SurveyCache& cache : caches) {
    uint64_t sharing = cache.sharedBy < run.threads ? cache.sharedBy : run.threads;
    if (sharing == 0) sharing = 1;
    sizes.push_back(cache.sizeBytes / sharing);
  }
  const std::vector<LevelWindow> windows = LevelWindows(sizes.data(), static_cast<uint32_t>(sizes.size()));
  const uint64_t largest = run.lengths.empty() ? 0 : run.lengths.back();
  run.levels.clear();
  for (size_t i = 0; i < windows.size(); ++i) {
    SurveyLevel level;
    level.name = i < caches.size() ? caches[i].name : "memory";
    level.sizeBytes = i < sizes.size() ? sizes[i] : 0;
    level.window = windows[i];
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      level.figures[group] = FigureInWindow(run.lengths, run.bestRates[group], run.bestKernels[group], windows[i]);
    if (!level.figures[GroupRead].present) level.absentReason = WhyNoFigure(windows[i], largest);
    level.latency = FigureInWindow(run.lengths, run.latencyPicoseconds, std::vector<uint32_t>(), windows[i]);
    run.levels.push_back(level);
  }
}

SurveyOutcome RunSurvey(uint32_t threads, const std::vector<uint32_t>* processors, SurveyProgressFunction progress,
                        void* context, std::string* error) {
  SurveyRecord& record = surveyRecord;
  const SurveySettings& settings = record.settings;
  SurveyRun run;
  run.threads = threads;
  if (processors != nullptr) run.processors.assign(processors->begin(), processors->begin() + threads);
  uint32_t indices[64];
  const uint32_t kernelCount = SelectSurveyKernels(record.supportedIsas, settings.wantedIsas, indices, 64);
  run.kernels.assign(indices, indices + kernelCount);
  if (kernelCount == 0) return SurveyNoKernels;
  run.lengths = SurveyLengths(settings.maxSize, settings.pointsPerDoubling);
  const size_t lengthCount = run.lengths.size();
  if (lengthCount == 0) {
    *error = "no block length: the largest size is below 2 KiB";
    return SurveyNoThreads;
  }
  run.kernelRates.assign(kernelCount * lengthCount, 0);
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    run.bestRates[group].assign(lengthCount, 0);
    run.bestKernels[group].assign(lengthCount, 0);
  }
  if (!StartSurveyTeam(threads, processors, run.lengths.back(), settings.hugePages, error)) return SurveyNoThreads;
  run.hugePageBytes = TeamHugePageBytes();

  // One measurement per kernel, length and pass; the repeats are the passes.
  const TimingRule onePass{MulDivWide(settings.minTimeNanoseconds, record.tscHz, 1000000000u), record.tscHz};
  SurveyProgress where{0, 0, 0, 0, 0};
  for (uint64_t length : run.lengths)
    where.workTotal += EstimatedWork(length, settings) * settings.repeats * (kernelCount + settings.latency);
  if (settings.latency) run.latencyPicoseconds.assign(lengthCount, 0);
  const uint32_t lineSize = record.caches.empty() || record.caches[0].lineSize < sizeof(void*) ? 64 : record.caches[0].lineSize;

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
        const uint64_t rate = MeasureTeamRate(surveyKernels[run.kernels[slot]], length, onePass);
        uint64_t& kept = run.kernelRates[slot * lengthCount + i];
        if (rate > kept) kept = rate;
        where.workDone += EstimatedWork(length, settings);
      }
      if (settings.latency && pass + 1 == settings.repeats && outcome == SurveyCompleted) {
        // The chase links the lines of the first thread's destination block;
        // the bandwidth kernels rewrite it before they next read it.
        run.latencyPicoseconds[i] = MeasureChaseLatencyPicoseconds(TeamLeaderScratchBuffer(), length, lineSize,
                                                                   onePass.minTicks, settings.repeats, record.tscHz);
        where.workDone += EstimatedWork(length, settings) * settings.repeats;
      }
    }
  }
  for (size_t i = 0; i < lengthCount; ++i)
    for (uint32_t slot = 0; slot < kernelCount; ++slot) {
      const uint32_t group = surveyKernels[run.kernels[slot]].group;
      if (run.kernelRates[slot * lengthCount + i] > run.bestRates[group][i]) {
        run.bestRates[group][i] = run.kernelRates[slot * lengthCount + i];
        run.bestKernels[group][i] = run.kernels[slot];
      }
    }
  if (outcome == SurveyCompleted && progress != nullptr) progress(where, context);
  StopSurveyTeam();
  if (outcome != SurveyCompleted) return outcome;
  ComputeSurveyLevels(record.caches, run);
  record.runs.push_back(run);
  return SurveyCompleted;
}
