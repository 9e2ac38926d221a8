// Per-level figures: which lengths belong to which level of the memory
// hierarchy, and the level's figure from the curve there.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SurveyCache;
struct SurveyRun;

// A thread's share of one cache level over the threads of a run: the cache's
// size divided by the run's threads on processors of the same instance. Where
// threads share instances unevenly the shares differ: smallest and largest.
struct LevelShare {
  uint64_t smallest;
  uint64_t largest;
};

// The lengths that stand for a level: (low, high]; high 0 means no bound.
// A cache level k takes (2 S(k-1), S(k) / 2], clear of both the level below
// and its own edge, with S(k-1) the largest share of the level below and S(k)
// the smallest share of its own, so that every thread's block lies clear of
// both; memory takes every length from 8 times the last level's largest share
// on (low is then that size minus one).
struct LevelWindow {
  uint64_t low;
  uint64_t high;
};

struct LevelFigure {
  bool present;
  uint64_t rate;       // median of the group's best rates in the window
  uint32_t kernel;     // kernel index behind the median length
  uint32_t lengthCount;
  uint64_t lowest, highest;  // the same median from each pass's rates alone
};

// The spread of a figure over the passes, (highest - lowest) / highest, in
// whole percent, rounded; a figure whose spread passes 10% is unstable.
uint32_t SpreadPercent(const LevelFigure& figure);
const uint32_t unstableSpreadPercent = 10;
bool FigureUnstable(const LevelFigure& figure);

// Windows for cacheCount caches' shares (ascending levels) and for memory after them.
std::vector<LevelWindow> LevelWindows(const LevelShare* shares, uint32_t cacheCount);

// The level a length belongs to by the windows: the name of the window that
// holds it, or the names of the windows on both sides joined by '-' ("L2-L3",
// "L3-memory") for a length between two windows. names holds one name per
// window.
std::string LevelOfLength(const std::vector<LevelWindow>& windows, const std::vector<std::string>& names,
                          uint64_t length);

// The median of the rates at the lengths inside the window (the mean of the
// two middle ones for an even count), and the kernel of the length whose rate
// is the lower middle one. Not present when no length lies in the window.
LevelFigure FigureInWindow(const std::vector<uint64_t>& lengths, const std::vector<uint64_t>& rates,
                           const std::vector<uint32_t>& kernels, const LevelWindow& window);

// Why a window holds no length: the processor named no cache sizes, the
// level is not more than four times the one below (no length lies clear of
// both), its sizes lie beyond the largest length (a larger one would reach
// it: neededSize), it is smaller than twice the first length, or the lengths
// step over it (more points per doubling would land inside).
enum LevelAbsence : uint32_t { LevelPresent, NoCacheSizes, LevelTooClose, BeyondLargest, BelowFirstLength, SteppedOver };
struct WhyAbsent {
  LevelAbsence absence;
  uint64_t neededSize;  // for BeyondLargest
};
WhyAbsent WhyNoFigure(const LevelWindow& window, uint64_t largestLength);

// The per-level figures of a run from its curves, each pass's rates and its
// placement's shares of the caches.
void ComputeSurveyLevels(const std::vector<SurveyCache>& caches, SurveyRun& run);

// The names of the levels a run's windows stand for: the caches', then "memory".
std::vector<std::string> SurveyLevelNames(const std::vector<SurveyCache>& caches);
// The windows of a run's levels, in the order of SurveyLevelNames.
std::vector<LevelWindow> SurveyRunWindows(const SurveyRun& run);
