// The core-to-core latency matrix as a heat map: one cell per ordered pair
// (row: the processor whose line it is first, column: the one it travels
// to), coloured from the lowest to the highest latency on a scale drawn
// beside it, the processors labelled and grouped by their last-level cache.
#pragma once
#include <cstdint>

#include "display/canvas.h"

struct LatencyMatrixData {
  uint32_t count;               // processors: rows and columns
  const uint32_t* processors;   // OS numbers, in row order
  const uint32_t* cores;        // core per processor: cells of one core's threads are framed
  const int32_t* groups;        // last-level cache instance per processor; a line between groups
  const uint64_t* picoseconds;  // count x count, row by row; 0 = none (the diagonal)
  const wchar_t* title;         // may be null
};

struct LatencyMatrixStyle {
  FontHandle font;
  Colour background, text, gridLine, siblingFrame;
};

// The style of the display's pictures: its panel font, a black ground.
LatencyMatrixStyle DisplayLatencyMatrixStyle();

// The scale's colour for a latency between lowest and highest (both
// inclusive): dark blue for the lowest through green to yellow.
Colour LatencyScaleColour(uint64_t picoseconds, uint64_t lowest, uint64_t highest);

// Paints the heat map into rect: title, column and row labels, the cells
// (with their figure in ns where a cell is wide enough), lines between the
// cache groups, and the scale with its lowest and highest figure.
void PaintLatencyMatrix(const Canvas& canvas, const Rect& rect, const LatencyMatrixData& data,
                        const LatencyMatrixStyle& style);
