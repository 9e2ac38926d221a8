// The two hand-drawn areas of the main window, from its client rectangle
// (which always starts at (0, 0)). The window bindings pass the rectangle they
// get from the system; both functions are evaluated afresh at every paint.
#pragma once
#include "display/canvas.h"

// The main window's client area at 96 DPI: the dialog's 456 x 276 dialog
// units in 8-point MS Shell Dlg (Tahoma), whose base units are 6 x 13 pixels,
// mapped as MapDialogRect does: MulDiv(456, 6, 4) x MulDiv(276, 13, 8) =
// 684 x 449 (448.5 rounded).
constexpr int32_t kWindowClientWidth = 684;
constexpr int32_t kWindowClientHeight = 449;

// The results panel: 5-pixel margins on the left, top and right, and a bottom
// fixed at 55, whatever the client height.
Rect GetPanelRect(const Rect& clientRect);

// The chart: below the panel with a 5-pixel gap (top + 60), 5-pixel margins on
// the other three sides. No minimum size: in a small client area the result
// may be empty or inverted.
Rect GetChartRect(const Rect& clientRect);
