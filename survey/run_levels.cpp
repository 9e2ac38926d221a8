// A run's levels: the windows its placement's cache shares give, each
// level's figures in them, and each figure's spread over the passes.
#include "survey/survey.h"

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
