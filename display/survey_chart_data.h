// What the survey picture shows and how: the sizes, rates and latencies of its
// curves, the cache levels' marks, the per-level figures, and the fonts and
// colours it draws with.
#pragma once
#include <cstdint>

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
  const wchar_t* kernels[3];    // kernel behind each figure, e.g. L"ReadAvx"; null
                                // when no figure
  uint64_t latencyPicoseconds;  // 0 = not measured
  uint32_t spreadPercents[3];   // each rate's spread over the passes; 0 = none shown (one pass, or none)
};

struct SurveyChartData {
  const uint64_t* lengths;  // block lengths in bytes, ascending (geometric, 2
                            // KiB .. e.g. 256 MiB)
  uint32_t lengthCount;
  const uint64_t* rates[3];            // per length: best read, write, copy rate in bytes/s; 0 = none
  const uint64_t* latencyPicoseconds;  // per length, or null when latency was not measured
  const SurveyChartLevel* levels;
  uint32_t levelCount;
  const SurveyChartFigure* figures;
  uint32_t figureCount;
  const wchar_t* title;  // e.g. L"AMD EPYC · 1 thread · core 3.89 GHz · TSC 2.45
                         // GHz"; may be null
};

// The fonts and curve colours the picture draws with: a front end's two
// display fonts and the read, write and copy colours (latency has its own).
struct SurveyChartStyle {
  FontHandle panelFont;
  FontHandle axisFont;     // turned by 90 degrees counter-clockwise
  Colour curveColours[3];  // read, write, copy
};
