#include "display/client_area.h"

#include "display/chart.h"
#include "display/layout.h"
#include "display/panel.h"

void EraseClientBackground(Canvas& canvas, const Rect& clientRect) {
  canvas.ExcludeFromClip(canvas.context, GetChartRect(clientRect));
  canvas.ExcludeFromClip(canvas.context, GetPanelRect(clientRect));
  canvas.FillBackground(canvas.context, clientRect);
}

void PaintClientArea(Canvas& canvas, const Rect& clientRect) {
  PaintRateChart(canvas, GetChartRect(clientRect));
  PaintResultsPanel(canvas, GetPanelRect(clientRect));
}
