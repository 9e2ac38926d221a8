#include "survey/levels.h"

#include <algorithm>

#include "survey/lengths.h"

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

std::string WhyNoFigure(const LevelWindow& window, uint64_t largestLength) {
  if (window.low == UINT64_MAX) return "the processor reported no cache sizes";
  if (window.high != 0 && window.high <= window.low)
    return "the level is not more than four times the one below: no length lies clear of both";
  if (largestLength <= window.low)
    return "raise --max-size to " + FormatByteSize(window.high != 0 ? window.high : window.low + 1);
  if (window.high != 0 && window.high < kSurveyFirstLength)
    return "the level is smaller than twice the first length (2 KiB)";
  return "no length lies between " + FormatByteSize(window.low) + " and " + FormatByteSize(window.high) +
         ": raise --points-per-doubling";
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
