// The results panel: the black band across the top of the main window with
// nine headline figures (read, write and copy rates in the first-level cache,
// the second-level cache and main memory), the clock rate and the version.
#pragma once
#include <cstdint>

#include "display/canvas.h"

// Half the width of the window of block offsets around half a cache size
// whose entries count for that cache's figures.
constexpr uint64_t kCacheWindowHalfWidth = 8192;

// The nine figures condensed from the result arrays, in bytes per second.
// Each triple is indexed like curveColours and the arrays: 0 read, 1 write,
// 2 copy.
struct PanelFigures {
  uint64_t l1[3];      // largest rates of the entries in the L1 window
  uint64_t l2[3];      // largest rates of the entries in the L2 window
  uint64_t memory[3];  // mean rates of the entries in the memory region
  uint32_t memoryCount;  // number of entries in those means
};

// Computes the figures from the current measurement state in one pass over
// the entries. Entry i has the offset d = i * blockStep and counts, in this
// order of tests, for the L1 window (h1 - 8192 < d < h1 + 8192 with
// h1 = l1CacheSize / 2), else the L2 window (likewise with l2CacheSize), else
// the memory region (d > 4 * l2CacheSize), and only when its three rates are
// all nonzero. All zero when the result arrays do not exist.
PanelFigures ComputePanelFigures();

// Draws the panel inside rect (from GetPanelRect) and inverts blinkPhase.
// Relies on the canvas being in transparent text mode already, as the chart,
// painted first on the same canvas, leaves it. An empty rect draws nothing and
// leaves blinkPhase alone.
void PaintResultsPanel(Canvas& canvas, const Rect& rect);
