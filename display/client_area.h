// The main window's client area, composed once for every front end: the
// background erase and the paint of the chart and the results panel.
#pragma once
#include "display/canvas.h"

// The background erase: the window background around and between the chart
// and the panel; their insides are left to their paints, so they never flash.
void EraseClientBackground(Canvas& canvas, const Rect& clientRect);

// The paint: the chart, then the results panel on the same canvas (the panel
// relies on the transparent text mode the chart leaves).
void PaintClientArea(Canvas& canvas, const Rect& clientRect);
