// The survey's picture: the per-level figures in a panel on top, below it the
// read, write and copy rate curves over a logarithmic size axis with each
// cache level's size marked and named, and, when measured, the latency curve
// on a logarithmic axis of its own on the right.
#pragma once
#include "display/canvas.h"

// A cache level's mark on the size axis, e.g. {L"L1d", 32768}.
struct SurveyChartLevel {
  const wchar_t* name;
  uint64_t sizeBytes;
};

// One row of the per-level panel: L1, L2, L3, memory.
struct SurveyChartFigure {
  const wchar_t* levelName;     // e.g. L"L1", L"memory"
  uint64_t sizeBytes;           // 0 for memory
  uint64_t rates[3];            // read, write, copy in bytes per second; 0 = no figure
  const wchar_t* kernels[3];    // kernel behind each figure, e.g. L"ReadAvx"; null when no figure
  uint64_t latencyPicoseconds;  // 0 = not measured
};

struct SurveyChartData {
  const uint64_t* lengths;  // block lengths in bytes, ascending (geometric, 2 KiB .. e.g. 256 MiB)
  uint32_t lengthCount;
  const uint64_t* rates[3];             // per length: best read, write, copy rate in bytes/s; 0 = none
  const uint64_t* latencyPicoseconds;   // per length, or null when latency was not measured
  const SurveyChartLevel* levels;
  uint32_t levelCount;
  const SurveyChartFigure* figures;
  uint32_t figureCount;
  const wchar_t* title;  // e.g. L"AMD EPYC · 1 thread · core 3.89 GHz · TSC 2.45 GHz"; may be null
};

// The fonts and curve colours the picture draws with: a front end's two
// display fonts and the read, write and copy colours (latency has its own).
struct SurveyChartStyle {
  FontHandle panelFont;
  FontHandle axisFont;  // turned by 90 degrees counter-clockwise
  Colour curveColours[3];  // read, write, copy
};

// Paints the survey picture into client: a panel of per-level figures on top (level, size, read/write/copy in GB/s with
// the kernel name of each, latency in ns when measured), below it the three rate curves over a logarithmic size axis
// (labels 2 KiB, 4 KiB, … at powers of two, thinned to fit), a linear rate axis in GB/s (decimal, 10^9 bytes/s) with
// round grid steps, each cache level's size marked by a vertical line and named, and — when latencies are given — the
// latency curve on its own axis (ns, logarithmic, on the right) in its own colour, with a legend naming all curves.
//
// Fonts and curve colours come from style. Degenerate data (no lengths, zero lengths or rates, a single length, no
// levels) draws what it can; zero entries are gaps in a curve.
void PaintSurveyChart(const Canvas& canvas, const Rect& client, const SurveyChartData& data,
                      const SurveyChartStyle& style);
// The display's own fonts and curve colours (displayState), those of the exact window.
SurveyChartStyle DisplaySurveyChartStyle();
// The picture in the display's own style.
void PaintSurveyChart(const Canvas& canvas, const Rect& client, const SurveyChartData& data);
