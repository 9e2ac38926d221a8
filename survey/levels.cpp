// Per-level figures: the windows of lengths that stand for each level, the
// figures in them and their spread over the passes, and the level a length
// belongs to; for single curves and for whole runs.
#include "survey/levels.h"

#include "display/exact_arithmetic.h"

#include <algorithm>

#include "survey/lengths.h"
#include "survey/survey.h"

namespace {
bool InWindow(const LevelWindow& window, uint64_t length) {
  return length > window.low && (window.high == 0 || length <= window.high);
}
}  // namespace

std::vector<LevelWindow> LevelWindows(const LevelShare* shares, uint32_t cacheCount) {
  std::vector<LevelWindow> windows;
  uint64_t below = 0;
  for (uint32_t level = 0; level < cacheCount; ++level) {
    windows.push_back(LevelWindow{2 * below, shares[level].smallest / 2});
    below = shares[level].largest;
  }
  // Without a known cache no length can be said to lie in memory.
  windows.push_back(LevelWindow{below != 0 ? 8 * below - 1 : UINT64_MAX, 0});
  return windows;
}

LevelFigure FigureInWindow(const std::vector<uint64_t>& lengths, const std::vector<uint64_t>& rates,
                           const std::vector<uint32_t>& kernels, const LevelWindow& window) {
  std::vector<size_t> inside;
  for (size_t i = 0; i < lengths.size() && i < rates.size(); ++i)
    if (InWindow(window, lengths[i])) inside.push_back(i);
  LevelFigure figure{false, 0, 0, static_cast<uint32_t>(inside.size()), 0, 0};
  if (inside.empty()) return figure;
  std::sort(inside.begin(), inside.end(), [&](size_t a, size_t b) { return rates[a] < rates[b]; });
  const size_t lowerMiddle = (inside.size() - 1) / 2;
  const size_t upperMiddle = inside.size() / 2;
  figure.present = true;
  figure.rate = rates[inside[lowerMiddle]] / 2 + rates[inside[upperMiddle]] / 2 +
                (rates[inside[lowerMiddle]] % 2 + rates[inside[upperMiddle]] % 2) / 2;
  figure.kernel = inside[lowerMiddle] < kernels.size() ? kernels[inside[lowerMiddle]] : 0;
  return figure;
}

WhyAbsent WhyNoFigure(const LevelWindow& window, uint64_t largestLength) {
  if (window.low == UINT64_MAX) return {NoCacheSizes, 0};
  if (window.high != 0 && window.high <= window.low) return {LevelTooClose, 0};
  if (largestLength <= window.low) return {BeyondLargest, window.high != 0 ? window.high : window.low + 1};
  if (window.high != 0 && window.high < kSurveyFirstLength) return {BelowFirstLength, 0};
  return {SteppedOver, 0};
}

std::string LevelOfLength(const std::vector<LevelWindow>& windows, const std::vector<std::string>& names,
                          uint64_t length) {
  size_t below = windows.size();  // the last window that ends below the length
  for (size_t i = 0; i < windows.size() && i < names.size(); ++i) {
    if (InWindow(windows[i], length)) return names[i];
    if (windows[i].high != 0 && windows[i].high < length) below = i;
  }
  if (below + 1 >= windows.size() || below + 1 >= names.size()) return below < names.size() ? names[below] : "";
  return names[below] + "-" + names[below + 1];
}

// A run's levels -------------------------------------------------------------

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
  // Each kernel's curve: its best pass at every length.
  const size_t perPass = run.kernels.size() * run.lengths.size();
  run.kernelRates.assign(perPass, 0);
  for (size_t i = 0; i < run.passRates.size(); ++i)
    run.kernelRates[i % perPass] = std::max(run.kernelRates[i % perPass], run.passRates[i]);
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
    level.absent = level.figures[GroupRead].present ? WhyAbsent{LevelPresent, 0} : WhyNoFigure(windows[i], largest);
    run.levels.push_back(level);
  }
  // Each pass's figures alone, for the spread: the same median over the
  // window's lengths of that pass's best rates.
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

uint32_t SpreadPercent(const LevelFigure& figure) {
  if (figure.highest == 0 || figure.lowest >= figure.highest) return 0;
  const uint64_t doubled = MulDivWide(figure.highest - figure.lowest, 200, figure.highest);
  return static_cast<uint32_t>(doubled / 2 + doubled % 2);
}

bool FigureUnstable(const LevelFigure& figure) {
  return figure.highest != 0 && figure.lowest < figure.highest &&
         MulDivWide(figure.highest - figure.lowest, 100, 1) > MulDivWide(figure.highest, unstableSpreadPercent, 1);
}
