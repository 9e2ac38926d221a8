#include "display/survey_panel.h"

#include "display/format.h"
#include "display/quantity_text.h"
#include "display/survey_drawing.h"
#include "display/survey_scales.h"

namespace {

constexpr int32_t kColumnGap = 16;
constexpr int32_t kSwatchLength = 16;

const wchar_t kNoFigure[] = L"\u2014";
const wchar_t* const kCurveNames[4] = {L"Read", L"Write", L"Copy", L"Latency"};

enum PanelColumn { kLevelColumn, kSizeColumn, kReadColumn, kLatencyColumn = 5, kColumnCount };
const wchar_t* const kColumnHeaders[kColumnCount] = {L"Level", L"Size", L"Read", L"Write", L"Copy", L"Latency"};

// The figure of one cell; "" or the no-figure dash where there is none.
const wchar_t* CellText(const SurveyChartFigure& figure, int column, TextBuffer& buffer) {
  if (column == kLevelColumn) return figure.levelName != nullptr ? figure.levelName : L"";
  if (column == kSizeColumn) {
    if (figure.sizeBytes == 0) return L"";
    const std::string text = ByteSizeText(figure.sizeBytes);
    int32_t out = 0;
    for (char c : text) buffer[out++] = static_cast<wchar_t>(c);
    buffer[out] = 0;
    return buffer;
  }
  if (column == kLatencyColumn) {
    if (figure.latencyPicoseconds == 0) return kNoFigure;
    FormatNanoseconds(figure.latencyPicoseconds, buffer);
    return buffer;
  }
  const uint64_t rate = figure.rates[column - kReadColumn];
  if (rate == 0) return kNoFigure;
  FormatGigabytesPerSecond(rate, buffer);
  // The spread over the passes beside the figure: how far to trust it.
  const uint32_t spread = figure.spreadPercents[column - kReadColumn];
  if (spread != 0) {
    int32_t end = 0;
    while (buffer[end] != 0) ++end;
    const std::string digits = std::to_string(spread);
    buffer[end++] = L' ';
    buffer[end++] = L'\u00B1';
    for (char digit : digits) buffer[end++] = static_cast<wchar_t>(digit);
    buffer[end++] = L'%';
    buffer[end] = 0;
  }
  return buffer;
}

// The kernel named beside a rate figure; null where there is none.
const wchar_t* CellKernel(const SurveyChartFigure& figure, int column) {
  if (column < kReadColumn || column >= kLatencyColumn) return nullptr;
  const int curve = column - kReadColumn;
  return figure.rates[curve] != 0 ? figure.kernels[curve] : nullptr;
}

Colour CellColour(const SurveyChartStyle& style, const SurveyChartFigure& figure, int column) {
  if (column <= kSizeColumn) return kSurveyTextColour;
  if (column == kLatencyColumn) return figure.latencyPicoseconds != 0 ? kSurveyLatencyColour : kSurveyQuietTextColour;
  return figure.rates[column - kReadColumn] != 0 ? SurveyCurveColour(style, column - kReadColumn)
                                                 : kSurveyQuietTextColour;
}

struct PanelColumns {
  int32_t figureWidth[kColumnCount];  // figures are right-aligned in this width
  int32_t width[kColumnCount];        // with the kernel names, when they are shown
  int32_t total;
  bool kernels;  // the kernel names are part of the widths
};

PanelColumns MeasureColumns(const Canvas& canvas, const SurveyChartData& data, int columnCount, bool kernels) {
  PanelColumns columns = {};
  columns.kernels = kernels;
  TextBuffer buffer = {};
  const int32_t space = Measure(canvas, L" ").cx;
  int32_t kernelWidth[kColumnCount] = {};
  for (uint32_t i = 0; i < data.figureCount; ++i) {
    for (int column = 0; column < columnCount; ++column) {
      const int32_t width = Measure(canvas, CellText(data.figures[i], column, buffer)).cx;
      if (width > columns.figureWidth[column]) columns.figureWidth[column] = width;
      const wchar_t* const kernel = kernels ? CellKernel(data.figures[i], column) : nullptr;
      if (kernel != nullptr && space + Measure(canvas, kernel).cx > kernelWidth[column]) {
        kernelWidth[column] = space + Measure(canvas, kernel).cx;
      }
    }
  }
  for (int column = 0; column < columnCount; ++column) {
    const int32_t header = Measure(canvas, kColumnHeaders[column]).cx;
    if (header > columns.figureWidth[column]) columns.figureWidth[column] = header;
    columns.width[column] = columns.figureWidth[column] + kernelWidth[column];
    columns.total += columns.width[column] + (column > 0 ? kColumnGap : 0);
  }
  return columns;
}

}  // namespace

// The title on the left and the legend (a short line and the name of each
// curve) on the right of one row, or on a row of its own when both do not
// fit. Returns the top of what follows.
int32_t PaintSurveyHeading(const Canvas& canvas, const SurveyChartStyle& style, const wchar_t* title, bool latency,
                           int32_t left, int32_t top, int32_t right, int32_t row) {
  const int curveCount = latency ? 4 : 3;
  int32_t legendWidth = 0;
  for (int curve = 0; curve < curveCount; ++curve) {
    legendWidth += kSwatchLength + 4 + Measure(canvas, kCurveNames[curve]).cx + (curve + 1 < curveCount ? 12 : 0);
  }
  int32_t legendTop = top;
  if (title != nullptr && title[0] != 0) {
    Text(canvas, left, top, title, kSurveyTextColour);
    if (left + Measure(canvas, title).cx + 24 + legendWidth > right) legendTop = top + row;
  }
  int32_t x = legendTop == top ? right - legendWidth : left;
  for (int curve = 0; curve < curveCount; ++curve) {
    const Colour colour = SurveyCurveColour(style, curve);
    canvas.SelectSolidPen(canvas.context, colour);
    const int32_t middle = legendTop + row / 2;
    Segment(canvas, x, middle, x + kSwatchLength, middle);
    Segment(canvas, x, middle + 1, x + kSwatchLength, middle + 1);
    x += kSwatchLength + 4;
    Text(canvas, x, legendTop, kCurveNames[curve], colour);
    x += Measure(canvas, kCurveNames[curve]).cx + 12;
  }
  return legendTop + row;
}

// A header row and a row per figure; the kernel names are left out when the
// rows would not fit between left and right. Returns the top of what follows.
int32_t PaintSurveyFigurePanel(const Canvas& canvas, const SurveyChartStyle& style, const SurveyChartData& data,
                               int32_t left, int32_t top, int32_t right, int32_t row) {
  if (data.figures == nullptr || data.figureCount == 0) return top;
  bool latencyColumn = data.latencyPicoseconds != nullptr;
  for (uint32_t i = 0; i < data.figureCount; ++i) latencyColumn |= data.figures[i].latencyPicoseconds != 0;
  const int columnCount = latencyColumn ? kColumnCount : kLatencyColumn;
  PanelColumns columns = MeasureColumns(canvas, data, columnCount, true);
  if (left + columns.total > right) columns = MeasureColumns(canvas, data, columnCount, false);
  const int32_t space = Measure(canvas, L" ").cx;
  TextBuffer buffer = {};

  int32_t x = left;
  for (int column = 0; column < columnCount; ++column) {
    const Colour colour = column < kReadColumn ? kSurveyTextColour : SurveyCurveColour(style, column - kReadColumn);
    Text(canvas, x, top, kColumnHeaders[column], colour);
    x += columns.width[column] + kColumnGap;
  }
  canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
  Segment(canvas, left, top + row + 1, left + columns.total, top + row + 1);

  for (uint32_t i = 0; i < data.figureCount; ++i) {
    const SurveyChartFigure& figure = data.figures[i];
    const int32_t y = top + row + 3 + static_cast<int32_t>(i) * row;
    x = left;
    for (int column = 0; column < columnCount; ++column) {
      const wchar_t* const text = CellText(figure, column, buffer);
      // The level's name from the left, every figure right-aligned.
      const int32_t width = column == kLevelColumn ? 0 : Measure(canvas, text).cx;
      const int32_t textX = column == kLevelColumn ? x : x + columns.figureWidth[column] - width;
      Text(canvas, textX, y, text, CellColour(style, figure, column));
      const wchar_t* const kernel = CellKernel(figure, column);
      if (columns.kernels && kernel != nullptr) {
        Text(canvas, x + columns.figureWidth[column] + space, y, kernel, kSurveyQuietTextColour);
      }
      x += columns.width[column] + kColumnGap;
    }
  }
  return top + row + 3 + static_cast<int32_t>(data.figureCount) * row;
}
