// The two hand-drawn areas of the main window, from its client rectangle
// (which always starts at (0, 0)). The window bindings pass the rectangle they
// get from the system; both functions are evaluated afresh at every paint.
#pragma once
#include "display/canvas.h"

// The results panel: 5-pixel margins on the left, top and right, and a bottom
// fixed at 55, whatever the client height.
Rect GetPanelRect(const Rect& clientRect);

// The chart: below the panel with a 5-pixel gap (top + 60), 5-pixel margins on
// the other three sides. No minimum size: in a small client area the result
// may be empty or inverted.
Rect GetChartRect(const Rect& clientRect);
