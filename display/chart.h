// The transfer-rate chart: the three result arrays as polylines over block
// length on linear axes from zero, with grid lines at every power of two of
// bytes per second and of bytes, optional dotted marks at the two cache
// sizes, and the rotated title "Transferrate".
#pragma once
#include "display/canvas.h"

// Draws the chart inside rect (from GetChartRect) and sets chartMaxRate to the
// largest entry of the three arrays (at least 1).
//
// It leaves the canvas in transparent text mode with white text, panelFont
// and the solid pen selected, which the results panel, painted next, relies
// on; it does so even when it draws nothing. An empty rect draws nothing; a
// rect too small for a plot area of positive width and height (30 pixels high
// or less, 75 wide or less) gets its background and frame only.
void PaintRateChart(Canvas& canvas, const Rect& rect);
