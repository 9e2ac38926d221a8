// The comparison's picture: the best read, write and copy curves of several
// saved surveys overlaid, one colour per run, in three stacked panels (read,
// write, copy) over one logarithmic size axis, under a legend naming the runs.
#pragma once
#include <cstdint>

#include "display/canvas.h"

// One run's curves and its legend text.
struct CompareChartRun {
  const wchar_t* name;  // e.g. L"A  before BIOS update, 2026-12-07"
  const uint64_t* lengths;  // block lengths in bytes, ascending
  uint32_t lengthCount;
  const uint64_t* rates[3];  // per length: best read, write, copy in bytes/s; 0 = none
};

struct CompareChartData {
  const CompareChartRun* runs;
  uint32_t runCount;
  const wchar_t* title;  // may be null
};

// The colour of run index (cycling through a palette that reads on black).
Colour CompareRunColour(uint32_t run);

// Paints the picture into client in the given font (horizontal). Runs without
// lengths or rates leave their curves out; zero entries are gaps.
void PaintCompareChart(const Canvas& canvas, const Rect& client, const CompareChartData& data, FontHandle font);
