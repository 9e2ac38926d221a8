#include "display/latency_matrix_chart.h"

#include <string>

#include "display/display_state.h"
#include "display/quantity_text.h"
#include "display/survey_drawing.h"

namespace {
constexpr int32_t kMargin = 8;
constexpr int32_t kScaleWidth = 18;
constexpr int32_t kScaleSteps = 64;

struct Stop {
  uint64_t red, green, blue;
};
const Stop kStops[3] = {{20, 40, 150}, {30, 170, 90}, {250, 230, 60}};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// "48" (ns, whole) for a cell, "48.3 ns" for the scale.
std::wstring CellFigure(uint64_t picoseconds) { return Wide(DecimalText(picoseconds, 1000, 0)); }
std::wstring ScaleFigure(uint64_t picoseconds) { return Wide(DecimalText(picoseconds, 1000, 1) + " ns"); }

void DrawText(const Canvas& canvas, int32_t x, int32_t y, const std::wstring& text, Colour colour) {
  Text(canvas, x, y, text.c_str(), colour);
}
}  // namespace

LatencyMatrixStyle DisplayLatencyMatrixStyle() {
  return {displayState.panelFont, MakeColour(0, 0, 0), MakeColour(255, 255, 255), MakeColour(255, 255, 255),
          MakeColour(255, 80, 80)};
}

Colour LatencyScaleColour(uint64_t picoseconds, uint64_t lowest, uint64_t highest) {
  if (highest <= lowest) return MakeColour(kStops[0].red, kStops[0].green, kStops[0].blue);
  const uint64_t value = picoseconds < lowest ? 0 : picoseconds > highest ? highest - lowest : picoseconds - lowest;
  // Position 0 .. 2 * span over the two stretches between the stops.
  const uint64_t span = highest - lowest, position = 2 * value;
  const Stop& from = kStops[position >= span ? 1 : 0];
  const Stop& to = kStops[position >= span ? 2 : 1];
  const uint64_t along = position >= span ? position - span : position;  // 0 .. span
  auto mix = [&](uint64_t a, uint64_t b) {
    return static_cast<uint32_t>(a <= b ? a + (b - a) * along / span : a - (a - b) * along / span);
  };
  return MakeColour(mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue));
}

void PaintLatencyMatrix(const Canvas& canvas, const Rect& rect, const LatencyMatrixData& data,
                        const LatencyMatrixStyle& style) {
  canvas.ClipToRect(canvas.context, rect);
  canvas.FillRect(canvas.context, rect, style.background);
  canvas.SetTransparentText(canvas.context);
  canvas.SelectFont(canvas.context, style.font);
  const int32_t lineHeight = Measure(canvas, L"0").cy;
  int32_t top = rect.top + kMargin;
  if (data.title != nullptr) {
    Text(canvas, rect.left + kMargin, top, data.title, style.text);
    top += lineHeight + kMargin;
  }
  const uint32_t count = data.count;
  if (count == 0) return;

  uint64_t lowest = UINT64_MAX, highest = 0;
  for (uint32_t cell = 0; cell < count * count; ++cell) {
    const uint64_t value = data.picoseconds[cell];
    if (value == 0) continue;
    lowest = value < lowest ? value : lowest;
    highest = value > highest ? value : highest;
  }
  const bool anyFigure = highest != 0;

  // Labels take the widest processor number; the scale its widest figure.
  int32_t labelWidth = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t width = Measure(canvas, std::to_wstring(data.processors[i]).c_str()).cx;
    labelWidth = width > labelWidth ? width : labelWidth;
  }
  const int32_t scaleTextWidth = anyFigure ? Measure(canvas, ScaleFigure(highest).c_str()).cx : 0;
  const int32_t left = rect.left + kMargin + labelWidth + kMargin;
  const int32_t gridTop = top + lineHeight + kMargin / 2;
  const int32_t roomX = rect.right - kMargin - scaleTextWidth - kMargin - kScaleWidth - 2 * kMargin - left;
  const int32_t roomY = rect.bottom - kMargin - gridTop;
  int32_t cellSize = (roomX < roomY ? roomX : roomY) / static_cast<int32_t>(count);
  if (cellSize < 1) cellSize = 1;
  const int32_t gridSize = cellSize * static_cast<int32_t>(count);

  // Column labels above, row labels at the left, centred on their cells
  // where they fit.
  const bool labelEvery = Measure(canvas, L"000").cx <= cellSize;
  for (uint32_t i = 0; i < count; ++i) {
    if (!labelEvery && i % ((count + 15) / 16) != 0) continue;
    const std::wstring label = std::to_wstring(data.processors[i]);
    const int32_t width = Measure(canvas, label.c_str()).cx;
    const int32_t offset = static_cast<int32_t>(i) * cellSize + (cellSize - width) / 2;
    DrawText(canvas, left + offset, top, label, style.text);
    DrawText(canvas, left - kMargin - width, gridTop + static_cast<int32_t>(i) * cellSize + (cellSize - lineHeight) / 2,
             label, style.text);
  }

  // The cells, each with its figure where it fits, and a frame around a
  // pair of hardware threads of one core.
  for (uint32_t row = 0; row < count; ++row) {
    for (uint32_t column = 0; column < count; ++column) {
      const uint64_t value = data.picoseconds[row * count + column];
      const Rect cell{left + static_cast<int32_t>(column) * cellSize, gridTop + static_cast<int32_t>(row) * cellSize,
                      left + static_cast<int32_t>(column + 1) * cellSize,
                      gridTop + static_cast<int32_t>(row + 1) * cellSize};
      canvas.FillRect(canvas.context, cell, value == 0 ? style.background : LatencyScaleColour(value, lowest, highest));
      if (row != column && data.cores[row] == data.cores[column] && cellSize >= 4) {
        canvas.SelectSolidPen(canvas.context, style.siblingFrame);
        canvas.MoveTo(canvas.context, cell.left, cell.top);
        canvas.LineTo(canvas.context, cell.right - 1, cell.top);
        canvas.LineTo(canvas.context, cell.right - 1, cell.bottom - 1);
        canvas.LineTo(canvas.context, cell.left, cell.bottom - 1);
        canvas.LineTo(canvas.context, cell.left, cell.top);
      }
      if (value == 0) continue;
      const std::wstring figure = CellFigure(value);
      const TextSize size = Measure(canvas, figure.c_str());
      if (size.cx + 2 > cellSize || size.cy > cellSize) continue;
      // Dark figures on the bright end of the scale (its green is high there).
      const bool bright = (LatencyScaleColour(value, lowest, highest) >> 8 & 0xff) > 150;
      DrawText(canvas, cell.left + (cellSize - size.cx) / 2, cell.top + (cellSize - size.cy) / 2, figure,
               bright ? style.background : style.text);
    }
  }

  // Lines between the last-level cache groups, across the whole grid.
  canvas.SelectSolidPen(canvas.context, style.gridLine);
  for (uint32_t i = 1; i < count; ++i) {
    if (data.groups[i] == data.groups[i - 1]) continue;
    const int32_t at = static_cast<int32_t>(i) * cellSize;
    Segment(canvas, left + at, gridTop, left + at, gridTop + gridSize);
    Segment(canvas, left, gridTop + at, left + gridSize, gridTop + at);
  }

  // The scale: highest at the top, lowest at the bottom, with both figures.
  if (!anyFigure) return;
  const int32_t scaleLeft = left + gridSize + 2 * kMargin;
  for (int32_t step = 0; step < kScaleSteps; ++step) {
    const uint64_t value = highest - (highest - lowest) * static_cast<uint64_t>(step) / (kScaleSteps - 1);
    const Rect band{scaleLeft, gridTop + gridSize * step / kScaleSteps, scaleLeft + kScaleWidth,
                    gridTop + gridSize * (step + 1) / kScaleSteps};
    canvas.FillRect(canvas.context, band, LatencyScaleColour(value, lowest, highest));
  }
  DrawText(canvas, scaleLeft + kScaleWidth + kMargin, gridTop, ScaleFigure(highest), style.text);
  DrawText(canvas, scaleLeft + kScaleWidth + kMargin, gridTop + gridSize - lineHeight, ScaleFigure(lowest), style.text);
}
