// The survey picture's top: the title and the legend of its curves, and the
// panel of per-level figures (level, size, read/write/copy with the kernel
// behind each, latency when measured).
#pragma once
#include <cstdint>

#include "display/survey_chart_data.h"

// The title on the left and the legend (a short line and the name of each
// curve) on the right of one row, or on a row of its own when both do not
// fit. Returns the top of what follows.
int32_t PaintSurveyHeading(const Canvas& canvas, const SurveyChartStyle& style, const wchar_t* title, bool latency,
                           int32_t left, int32_t top, int32_t right, int32_t row);
// A header row and a row per figure; the kernel names are left out when the
// rows would not fit between left and right. Returns the top of what follows.
int32_t PaintSurveyFigurePanel(const Canvas& canvas, const SurveyChartStyle& style, const SurveyChartData& data,
                               int32_t left, int32_t top, int32_t right, int32_t row);
