// What the survey picture's panel and plot share: its colours, margins and
// the few text and line helpers both draw with.
#pragma once
#include <cstdint>

#include "display/survey_chart_data.h"

constexpr Colour kSurveyBackground = MakeColour(0, 0, 0);
constexpr Colour kSurveyGridColour = MakeColour(0, 72, 0);
constexpr Colour kSurveyAxisColour = MakeColour(0, 150, 0);
constexpr Colour kSurveyTextColour = MakeColour(255, 255, 255);
constexpr Colour kSurveyQuietTextColour = MakeColour(150, 150, 150);
constexpr Colour kSurveyLevelMarkColour = MakeColour(190, 190, 190);
constexpr Colour kSurveyLatencyColour = MakeColour(230, 110, 255);

constexpr int32_t kSurveyMargin = 6;

// Length of a zero-terminated text.
int32_t WideLength(const wchar_t* text);
// The extent of a whole zero-terminated text in the selected font.
TextSize Measure(const Canvas& canvas, const wchar_t* text);
// Draws a text in a colour; an empty text changes nothing.
void Text(const Canvas& canvas, int32_t x, int32_t y, const wchar_t* text, Colour colour);
// A line from (x0, y0) to (x1, y1), the last pixel left out, in the selected
// pen.
void Segment(const Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
int32_t Clamp(int32_t value, int32_t low, int32_t high);
// Read, write and copy in the style's colours; the latency curve (3) in its
// own.
Colour SurveyCurveColour(const SurveyChartStyle& style, int curve);
