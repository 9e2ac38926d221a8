#include "display/survey_chart.h"

#include "display/display_state.h"
#include "display/survey_drawing.h"
#include "display/survey_panel.h"
#include "display/survey_plot.h"

namespace {
// The client is cut to this range, so every coordinate derived from it stays
// within the +-2^27 that every backend accepts.
constexpr int32_t kCoordinateLimit = (1 << 27) - 1;
}  // namespace

void PaintSurveyChart(const Canvas& canvas, const Rect& clientRect, const SurveyChartData& data,
                      const SurveyChartStyle& style) {
  const Rect client = {Clamp(clientRect.left, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.top, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.right, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.bottom, -kCoordinateLimit, kCoordinateLimit)};
  if (client.right <= client.left || client.bottom <= client.top) return;
  void* const context = canvas.context;
  canvas.ClipToRect(context, client);
  canvas.FillRect(context, client, kSurveyBackground);
  canvas.SetTransparentText(context);
  canvas.SelectFont(context, style.panelFont);
  const int32_t row = Measure(canvas, L"Ag").cy;
  const bool latency = data.latencyPicoseconds != nullptr && data.lengths != nullptr;

  const int32_t left = client.left + kSurveyMargin;
  const int32_t right = client.right - kSurveyMargin;
  int32_t top = PaintSurveyHeading(canvas, style, data.title, latency, left, client.top + kSurveyMargin, right, row);
  top = PaintSurveyFigurePanel(canvas, style, data, left, top + row / 2, right, row);
  PaintSurveyPlot(canvas, style, data, latency, Rect{client.left, top + row / 2, client.right, client.bottom}, row);
}

SurveyChartStyle DisplaySurveyChartStyle() {
  SurveyChartStyle style = {displayState.panelFont, displayState.axisFont, {}};
  for (int curve = 0; curve < 3; ++curve) style.curveColours[curve] = displayState.curveColours[curve];
  return style;
}
