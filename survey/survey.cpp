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

bool PlaceSurveyRun(const MachineLayout& layout, const std::vector<SurveyCache>& caches, uint32_t threads, bool bind,
                    SurveyPlacement* placement, std::string* error) {
  *placement = SurveyPlacement();
  CacheShareReport report;
  if (bind) {
    ThreadPlacement placed;
    if (!PlaceThreads(layout, threads, &placed, error)) return false;
    placement->bound = true;
    placement->threads = placed.threads;
    placement->sharesCores = placed.sharesCores;
    report = CacheShares(layout, placed);
  } else {
    report = UnboundCacheShares(layout, threads);
  }
  placement->sharesFromCounts = report.fallback;
  for (const SurveyCache& cache : caches) {
    const CacheLevelShare* found = nullptr;
    for (const CacheLevelShare& level : report.levels)
      if (level.level == cache.level) found = &level;
    if (found != nullptr) {
      placement->shares.push_back(LevelShare{found->smallestShare, found->largestShare});
      continue;
    }
    const uint32_t sharers = cache.sharedBy == 0 ? 1 : cache.sharedBy < threads ? cache.sharedBy : threads;
    placement->shares.push_back(LevelShare{cache.sizeBytes / sharers, cache.sizeBytes / sharers});
    placement->sharesFromCounts = true;
  }
  return true;
}

std::vector<std::string> SurveyLevelNames(const std::vector<SurveyCache>& caches) {
  std::vector<std::string> names;
  for (const SurveyCache& cache : caches) names.push_back(cache.name);
  names.push_back("memory");
  return names;
}

std::vector<LevelWindow> SurveyRunWindows(const SurveyRun& run) {
  return LevelWindows(run.placement.shares.data(), static_cast<uint32_t>(run.placement.shares.size()));
}

namespace {
// The best rate of each group at each length over one pass's kernels (or,
// with pass == passes, over the best pass of each kernel).
void BestOfGroups(const SurveyRun& run, const uint64_t* rates, std::vector<uint64_t>* best,
                  std::vector<uint32_t>* kernels) {
  const size_t lengthCount = run.lengths.size();
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    best[group].assign(lengthCount, 0);
    if (kernels != nullptr) kernels[group].assign(lengthCount, 0);
  }
  for (size_t slot = 0; slot < run.kernels.size(); ++slot) {
    const uint32_t group = surveyKernels[run.kernels[slot]].group;
    for (size_t i = 0; i < lengthCount; ++i) {
      const uint64_t rate = rates[slot * lengthCount + i];
      if (rate <= best[group][i]) continue;
      best[group][i] = rate;
      if (kernels != nullptr) kernels[group][i] = run.kernels[slot];
    }
  }
}
}  // namespace

void ComputeSurveyLevels(const std::vector<SurveyCache>& caches, SurveyRun& run) {
  BestOfGroups(run, run.kernelRates.data(), run.bestRates, run.bestKernels);
  const std::vector<LevelWindow> windows = SurveyRunWindows(run);
  const std::vector<std::string> names = SurveyLevelNames(caches);
  const uint64_t largest = run.lengths.empty() ? 0 : run.lengths.back();
  run.levels.clear();
  for (size_t i = 0; i < windows.size(); ++i) {
    SurveyLevel level;
    level.name = names[i];
    level.share = i < run.placement.shares.size() ? run.placement.shares[i] : LevelShare{0, 0};
    level.window = windows[i];
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      level.figures[group] = FigureInWindow(run.lengths, run.bestRates[group], run.bestKernels[group], windows[i]);
    if (!level.figures[GroupRead].present) level.absentReason = WhyNoFigure(windows[i], largest);
    run.levels.push_back(level);
  }
  // Each pass's figures alone, for the spread: the same median over the
  // window's lengths of that pass's best rates.
  const size_t perPass = run.kernels.size() * run.lengths.size();
  std::vector<uint64_t> passBest[kSurveyGroupCount];
  for (uint32_t pass = 0; pass < run.passes && perPass != 0 && run.passRates.size() >= (pass + 1) * perPass; ++pass) {
    BestOfGroups(run, run.passRates.data() + pass * perPass, passBest, nullptr);
    for (SurveyLevel& level : run.levels)
      for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
        LevelFigure& figure = level.figures[group];
        if (!figure.present) continue;
        const uint64_t rate = FigureInWindow(run.lengths, passBest[group], {}, level.window).rate;
        if (pass == 0 || rate < figure.lowest) figure.lowest = rate;
        if (pass == 0 || rate > figure.highest) figure.highest = rate;
      }
  }
}

namespace {
std::vector<uint32_t> BoundProcessors(const SurveyPlacement& placement) {
  std::vector<uint32_t> processors;
  for (const ThreadPlace& thread : placement.threads) processors.push_back(thread.processor);
  return processors;
}

// The kernel of the widest registers among the run's, for the clock
// measurement: a core may lower its clock while such instructions run.
const SurveyKernel& WidestKernel(const std::vector<uint32_t>& kernels) {
  const SurveyKernel* widest = &surveyKernels[kernels[0]];
  for (uint32_t index : kernels)
    if (surveyKernels[index].isa != IsaRep && (widest->isa == IsaRep || surveyKernels[index].isa > widest->isa))
      widest = &surveyKernels[index];
  return *widest;
}

uint64_t MeanOf(const std::vector<uint64_t>& values) {
  uint64_t sum = 0, count = 0;
  for (uint64_t value : values)
    if (value != 0) sum += value, ++count;
  return count == 0 ? 0 : sum / count;
}
}  // namespace

SurveyOutcome RunSurvey(uint32_t threads, const SurveyPlacement& placement, SurveyProgressFunction progress,
                        void* context, std::string* error) {
  SurveyRecord& record = surveyRecord;
  const SurveySettings& settings = record.settings;
  SurveyRun run;
  run.threads = threads;
  run.placement = placement;
  uint32_t indices[64];
  const uint32_t kernelCount = SelectSurveyKernels(record.supportedIsas, settings.wantedIsas, indices, 64);
  run.kernels.assign(indices, indices + kernelCount);
  if (kernelCount == 0) return SurveyNoKernels;
  run.lengths = SurveyLengths(settings.maxSize, settings.pointsPerDoubling);
  const size_t lengthCount = run.lengths.size();
  if (lengthCount == 0) {
    *error = "no block length: the largest size is below 2 KiB";
    return SurveyNoLengths;
  }
  run.passes = settings.repeats;
  run.kernelRates.assign(kernelCount * lengthCount, 0);
  run.passRates.assign(uint64_t{run.passes} * kernelCount * lengthCount, 0);
  const std::vector<uint32_t> processors = BoundProcessors(placement);
  if (!StartSurveyTeam(threads, placement.bound ? &processors : nullptr, run.lengths.back(), settings.hugePages, error))
    return SurveyNoThreads;
  run.hugePageBytes = TeamHugePageBytes();

  // One measurement per kernel, length and pass; the repeats are the passes.
  const TimingRule onePass{MulDivWide(settings.minTimeNanoseconds, record.tscHz, 1000000000u), record.tscHz};
  SurveyProgress where{0, 0, 0, 0, 0, false};
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
        const uint64_t rate = MeasureTeamRate(surveyKernels[run.kernels[slot]], length, onePass);
        run.passRates[(uint64_t{pass} * kernelCount + slot) * lengthCount + i] = rate;
        uint64_t& kept = run.kernelRates[slot * lengthCount + i];
        if (rate > kept) kept = rate;
        where.workDone += EstimatedWork(length, settings);
      }
    }
  }
  if (outcome == SurveyCompleted) {
    run.threadCoreHz = MeasureTeamCoreClocks(&WidestKernel(run.kernels), record.tscHz);
    run.coreHz = MeanOf(run.threadCoreHz);
    if (progress != nullptr) progress(where, context);
  }
  StopSurveyTeam();
  if (outcome != SurveyCompleted) return outcome;
  ComputeSurveyLevels(record.caches, run);
  record.runs.push_back(run);
  return SurveyCompleted;
}

SurveyOutcome RunSurveyLatency(const SurveyPlacement& placement, SurveyProgressFunction progress, void* context,
                               std::string* error) {
  SurveyRecord& record = surveyRecord;
  const SurveySettings& settings = record.settings;
  SurveyLatency latency;
  latency.placement = placement;
  latency.lengths = SurveyLengths(settings.maxSize, settings.pointsPerDoubling);
  if (latency.lengths.empty()) {
    *error = "no block length: the largest size is below 2 KiB";
    return SurveyNoLengths;
  }
  const std::vector<uint32_t> processors = BoundProcessors(placement);
  if (!StartSurveyTeam(1, placement.bound ? &processors : nullptr, latency.lengths.back(), settings.hugePages, error))
    return SurveyNoThreads;
  const uint32_t lineSize =
      record.caches.empty() || record.caches[0].lineSize < sizeof(void*) ? 64 : record.caches[0].lineSize;
  const uint64_t minTicks = MulDivWide(settings.minTimeNanoseconds, record.tscHz, 1000000000u);
  SurveyProgress where{0, 0, 0, 1, 1, true};
  for (uint64_t length : latency.lengths) where.workTotal += EstimatedWork(length, settings) * settings.repeats;
  SurveyOutcome outcome = SurveyCompleted;
  for (uint64_t length : latency.lengths) {
    where.length = length;
    if (progress != nullptr && !progress(where, context)) {
      outcome = SurveyStopped;
      break;
    }
    latency.picoseconds.push_back(MeasureChaseLatencyPicoseconds(TeamLeaderScratchBuffer(), length, lineSize, minTicks,
                                                                 settings.repeats, record.tscHz));
    where.workDone += EstimatedWork(length, settings) * settings.repeats;
  }
  if (outcome == SurveyCompleted) {
    latency.coreHz = MeanOf(MeasureTeamCoreClocks(nullptr, record.tscHz));
    if (progress != nullptr) progress(where, context);
  }
  StopSurveyTeam();
  if (outcome != SurveyCompleted) return outcome;
  latency.windows = LevelWindows(placement.shares.data(), static_cast<uint32_t>(placement.shares.size()));
  for (const LevelWindow& window : latency.windows)
    latency.levels.push_back(FigureInWindow(latency.lengths, latency.picoseconds, {}, window));
  latency.measured = true;
  record.latency = latency;
  return SurveyCompleted;
}
