// The survey's picture: the per-level figures in a panel on top, below it the
// read, write and copy rate curves over a logarithmic size axis with each
// cache level's size marked and named, and, when measured, the latency curve
// on a logarithmic axis of its own on the right.
#pragma once
#include "display/survey_chart_data.h"

// Paints the survey picture into client: a panel of per-level figures on top
// (level, size, read/write/copy in GB/s with the kernel name of each, latency
// in ns when measured), below it the three rate curves over a logarithmic size
// axis (labels 2 KiB, 4 KiB, … at powers of two, thinned to fit), a linear rate
// axis in GB/s (decimal, 10^9 bytes/s) with round grid steps, each cache
// level's size marked by a vertical line and named, and — when latencies are
// given — the latency curve on its own axis (ns, logarithmic, on the right) in
// its own colour, with a legend naming all curves.
//
// Fonts and curve colours come from style. Degenerate data (no lengths, zero
// lengths or rates, a single length, no levels) draws what it can; zero entries
// are gaps in a curve.
void PaintSurveyChart(const Canvas& canvas, const Rect& client, const SurveyChartData& data,
                      const SurveyChartStyle& style);
// The display's own fonts and curve colours (displayState), those of the exact
// window.
SurveyChartStyle DisplaySurveyChartStyle();
