#include "display/survey_drawing.h"

int32_t WideLength(const wchar_t* text) {
  int32_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

TextSize Measure(const Canvas& canvas, const wchar_t* text) {
  return canvas.MeasureText(canvas.context, text, WideLength(text));
}

void Text(const Canvas& canvas, int32_t x, int32_t y, const wchar_t* text, Colour colour) {
  if (text[0] == 0) return;
  canvas.SetTextColour(canvas.context, colour);
  canvas.DrawString(canvas.context, x, y, text, WideLength(text));
}

void Segment(const Canvas& canvas, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  canvas.MoveTo(canvas.context, x0, y0);
  canvas.LineTo(canvas.context, x1, y1);
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return value < low ? low : value > high ? high : value; }

// Read, write and copy in the style's colours; the latency curve (3) in its
// own.
Colour SurveyCurveColour(const SurveyChartStyle& style, int curve) {
  return curve < 3 ? style.curveColours[curve] : kSurveyLatencyColour;
}
