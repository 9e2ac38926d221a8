// The loaded-latency picture: the pointer chaser's latency over the loaders'
// bandwidth, one curve per kind of traffic, beside the latency without any
// traffic.
#pragma once
#include <cstdint>

#include "display/canvas.h"

// One kind of traffic's curve and its legend text.
struct LoadedLatencyChartCurve {
  const wchar_t* name;             // the traffic kind, e.g. L"read", shown in the legend
  const uint64_t* bytesPerSecond;  // per point: the loaders' bandwidth (x)
  const uint64_t* picoseconds;     // per point: the chaser's latency (y); 0 = none, left out
  uint32_t pointCount;             // points in order of rising delay, so bandwidth mostly falls
};

struct LoadedLatencyChartData {
  const LoadedLatencyChartCurve* curves;
  uint32_t curveCount;
  uint64_t idlePicoseconds;  // the chaser's latency with no traffic; 0 = unknown, not drawn
  const wchar_t* title;      // may be null
};

// Paints latency (y, ns, from 0) over bandwidth (x, GB/s, from 0) into client
// in the given (horizontal) font: one coloured curve per traffic kind with a
// mark at every point, the idle latency as a dotted horizontal line labelled
// with its figure, axes with ticks and units, a legend, the title. Without
// any point it draws the axes and says "no points".
void PaintLoadedLatencyChart(const Canvas& canvas, const Rect& client, const LoadedLatencyChartData& data,
                             FontHandle font);
