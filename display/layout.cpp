#include "display/layout.h"

Rect GetPanelRect(const Rect& clientRect) {
  return Rect{clientRect.left + 5, clientRect.top + 5, clientRect.right - 5, 55};
}

Rect GetChartRect(const Rect& clientRect) {
  return Rect{clientRect.left + 5, clientRect.top + 60, clientRect.right - 5, clientRect.bottom - 5};
}
