// The survey picture's plot: the read, write and copy rates over a
// logarithmic size axis with each cache level's size marked and named, and
// the latency curve on a logarithmic axis of its own on the right.
#pragma once
#include <cstdint>

#include "display/survey_chart_data.h"

// Paints the plot inside area, row being the panel font's text height; with
// latency, the latency axis and curve too. Expects the panel font selected
// and leaves it selected.
void PaintSurveyPlot(const Canvas& canvas, const SurveyChartStyle& style, const SurveyChartData& data, bool latency,
                     const Rect& area, int32_t row);
