#include "display/survey_chart.h"

#include "display/format.h"
#include "display/survey_scales.h"

namespace {

constexpr Colour kBackground = MakeColour(0, 0, 0);
constexpr Colour kGridColour = MakeColour(0, 72, 0);
constexpr Colour kAxisColour = MakeColour(0, 150, 0);
constexpr Colour kTextColour = MakeColour(255, 255, 255);
constexpr Colour kQuietTextColour = MakeColour(150, 150, 150);
constexpr Colour kLevelMarkColour = MakeColour(190, 190, 190);
constexpr Colour kLatencyColour = MakeColour(230, 110, 255);

constexpr int32_t kMargin = 6;
constexpr int32_t kColumnGap = 16;
constexpr int32_t kSwatchLength = 16;
// The client is cut to this range, so every coordinate derived from it stays
// within the +-2^27 that every backend accepts.
constexpr int32_t kCoordinateLimit = (1 << 27) - 1;
constexpr uint64_t kMaxRate = uint64_t{1000000000000000000};  // 10^9 GB/s: any rate beyond sits on top

const wchar_t kNoFigure[] = L"\u2014";
const wchar_t* const kCurveNames[4] = {L"Read", L"Write", L"Copy", L"Latency"};
const wchar_t kRateTitle[] = L"Transfer rate (GB/s)";
const wchar_t kShortRateTitle[] = L"GB/s";
const wchar_t kLatencyTitle[] = L"Latency (ns)";
const wchar_t kShortLatencyTitle[] = L"ns";

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

Colour CurveColour(int curve) { return curve < 3 ? measurementState.curveColours[curve] : kLatencyColour; }

// Title ----------------------------------------------------------------------

// The title on the left and the legend (a short line and the name of each
// curve) on the right of one row, or on a row of its own when both do not
// fit. Returns the top of what follows.
int32_t PaintHeading(const Canvas& canvas, const wchar_t* title, bool latency, int32_t left, int32_t top,
                     int32_t right, int32_t row) {
  const int curveCount = latency ? 4 : 3;
  int32_t legendWidth = 0;
  for (int curve = 0; curve < curveCount; ++curve) {
    legendWidth += kSwatchLength + 4 + Measure(canvas, kCurveNames[curve]).cx + (curve + 1 < curveCount ? 12 : 0);
  }
  int32_t legendTop = top;
  if (title != nullptr && title[0] != 0) {
    Text(canvas, left, top, title, kTextColour);
    if (left + Measure(canvas, title).cx + 24 + legendWidth > right) legendTop = top + row;
  }
  int32_t x = legendTop == top ? right - legendWidth : left;
  for (int curve = 0; curve < curveCount; ++curve) {
    const Colour colour = CurveColour(curve);
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

// Per-level panel ------------------------------------------------------------

enum PanelColumn { kLevelColumn, kSizeColumn, kReadColumn, kLatencyColumn = 5, kColumnCount };
const wchar_t* const kColumnHeaders[kColumnCount] = {L"Level", L"Size", L"Read", L"Write", L"Copy", L"Latency"};

// The figure of one cell; "" or the no-figure dash where there is none.
const wchar_t* CellText(const SurveyChartFigure& figure, int column, TextBuffer& buffer) {
  if (column == kLevelColumn) return figure.levelName != nullptr ? figure.levelName : L"";
  if (column == kSizeColumn) {
    if (figure.sizeBytes == 0) return L"";
    FormatBinaryQuantity(sizeUnits, figure.sizeBytes, buffer);
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
  return buffer;
}

// The kernel named beside a rate figure; null where there is none.
const wchar_t* CellKernel(const SurveyChartFigure& figure, int column) {
  if (column < kReadColumn || column >= kLatencyColumn) return nullptr;
  const int curve = column - kReadColumn;
  return figure.rates[curve] != 0 ? figure.kernels[curve] : nullptr;
}

Colour CellColour(const SurveyChartFigure& figure, int column) {
  if (column <= kSizeColumn) return kTextColour;
  if (column == kLatencyColumn) return figure.latencyPicoseconds != 0 ? kLatencyColour : kQuietTextColour;
  return figure.rates[column - kReadColumn] != 0 ? CurveColour(column - kReadColumn) : kQuietTextColour;
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

// A header row and a row per figure; the kernel names are left out when the
// rows would not fit between left and right. Returns the top of what follows.
int32_t PaintFigurePanel(const Canvas& canvas, const SurveyChartData& data, int32_t left, int32_t top,
                         int32_t right, int32_t row) {
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
    const Colour colour = column < kReadColumn ? kTextColour : CurveColour(column - kReadColumn);
    Text(canvas, x, top, kColumnHeaders[column], colour);
    x += columns.width[column] + kColumnGap;
  }
  canvas.SelectSolidPen(canvas.context, kAxisColour);
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
      Text(canvas, textX, y, text, CellColour(figure, column));
      const wchar_t* const kernel = CellKernel(figure, column);
      if (columns.kernels && kernel != nullptr) {
        Text(canvas, x + columns.figureWidth[column] + space, y, kernel, kQuietTextColour);
      }
      x += columns.width[column] + kColumnGap;
    }
  }
  return top + row + 3 + static_cast<int32_t>(data.figureCount) * row;
}

// Plot -----------------------------------------------------------------------

struct Plot {
  int32_t xL, xR, yT, yB;
};

// Where a value of one curve lies: a linear rate axis from zero to top, or
// the logarithmic latency axis.
struct ValueScale {
  bool logarithmic;
  LogAxis logAxis;
  uint64_t top;
};

int32_t ValueY(const ValueScale& scale, const Plot& plot, uint64_t value) {
  if (scale.logarithmic) return LogAxisPosition(scale.logAxis, value);
  return plot.yB - LinearOffset(value, scale.top, plot.yB - plot.yT);
}

// A polyline through the points whose length and value are both nonzero; a
// zero is a gap, and a point without a neighbour is drawn as a small cross.
void PaintCurve(const Canvas& canvas, const SurveyChartData& data, const LogAxis& sizeAxis, const Plot& plot,
                const ValueScale& scale, const uint64_t* values, Colour colour) {
  if (values == nullptr || data.lengths == nullptr) return;
  canvas.SelectSolidPen(canvas.context, colour);
  uint32_t run = 0;
  int32_t lastX = 0, lastY = 0;
  for (uint32_t i = 0; i <= data.lengthCount; ++i) {
    const bool present = i < data.lengthCount && data.lengths[i] != 0 && values[i] != 0;
    if (!present) {
      if (run == 1) {
        Segment(canvas, Clamp(lastX - 2, plot.xL, plot.xR), lastY, Clamp(lastX + 3, plot.xL, plot.xR), lastY);
        Segment(canvas, lastX, Clamp(lastY - 2, plot.yT, plot.yB), lastX, Clamp(lastY + 3, plot.yT, plot.yB));
      }
      run = 0;
      continue;
    }
    const int32_t x = LogAxisPosition(sizeAxis, data.lengths[i]);
    const int32_t y = ValueY(scale, plot, values[i]);
    if (run == 0) {
      canvas.MoveTo(canvas.context, x, y);
    } else {
      canvas.LineTo(canvas.context, x, y);
    }
    lastX = x;
    lastY = y;
    ++run;
  }
}

// The rotated axis title, centred on the plot's height; the short form when
// the long one does not fit. Leaves the panel font selected.
void PaintAxisTitle(const Canvas& canvas, int32_t x, const Plot& plot, const wchar_t* title, const wchar_t* shortTitle,
                    Colour colour) {
  canvas.SelectFont(canvas.context, measurementState.axisFont);
  const int32_t height = plot.yB - plot.yT;
  const wchar_t* const text = Measure(canvas, title).cx <= height ? title : shortTitle;
  const int32_t length = Measure(canvas, text).cx;
  if (length <= height) Text(canvas, x, plot.yT + (height + length) / 2, text, colour);
  canvas.SelectFont(canvas.context, measurementState.panelFont);
}

uint32_t RateDecimals(uint64_t step) { return step >= 1000000000 ? 0 : step >= 100000000 ? 1 : 2; }

// Latency tick values, 1, 2 and 5 times each power of ten picoseconds.
uint32_t LatencyDecimals(uint64_t picoseconds) {
  return picoseconds >= 1000 ? 0 : picoseconds >= 100 ? 1 : picoseconds >= 10 ? 2 : 3;
}

// Decades of picoseconds around the measured latencies: low the largest
// power of ten not above the least, high the smallest above low not below
// the greatest; 1 to 100 ns when none is measured.
void LatencyRange(const SurveyChartData& data, uint64_t* low, uint64_t* high) {
  uint64_t least = 0, greatest = 0;
  for (uint32_t i = 0; i < data.lengthCount; ++i) {
    const uint64_t value = data.latencyPicoseconds[i];
    if (value == 0 || data.lengths[i] == 0) continue;
    if (least == 0 || value < least) least = value;
    if (value > greatest) greatest = value;
  }
  if (least == 0) {
    least = 1000;
    greatest = 100000;
  }
  *low = 1;
  while (*low <= least / 10) *low *= 10;
  *high = *low * 10;
  while (*high < greatest && *high <= UINT64_MAX / 100) *high *= 10;
}

void PaintPlot(const Canvas& canvas, const SurveyChartData& data, bool latency, const Rect& area, int32_t row) {
  // The size axis spans the nonzero lengths; a single length sits in the
  // middle of two doublings, and without lengths the axis shows 2 KiB to 64 MiB.
  const uint32_t count = data.lengths != nullptr ? data.lengthCount : 0;
  uint64_t least = 0, greatest = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t length = data.lengths[i];
    if (length == 0) continue;
    if (least == 0 || length < least) least = length;
    if (length > greatest) greatest = length;
  }
  if (greatest == 0) {
    least = 2048;
    greatest = uint64_t{64} << 20;
  }
  LogAxis sizeAxis = {Log2Fixed(least), Log2Fixed(greatest), 0, 0};
  if (sizeAxis.high - sizeAxis.low < kLogOne / 16) {
    sizeAxis.low -= kLogOne;
    sizeAxis.high += kLogOne;
  }

  uint64_t maxRate = 0;
  for (const uint64_t* rates : data.rates) {
    for (uint32_t i = 0; rates != nullptr && i < count; ++i) {
      if (data.lengths[i] != 0 && rates[i] > maxRate) maxRate = rates[i];
    }
  }
  if (maxRate > kMaxRate) maxRate = kMaxRate;
  if (maxRate == 0) maxRate = 1000000000;  // an empty scale of 1 GB/s

  Plot plot = {0, 0, area.top + row + 3, area.bottom - kMargin - row - 3};
  const int32_t height = plot.yB - plot.yT;
  if (height < row) return;
  const int32_t maxSteps = 2 * height / (5 * row);  // grid lines at least 2.5 text rows apart
  const uint64_t step = RoundRateStep(maxRate, maxSteps > 0 ? static_cast<uint32_t>(maxSteps) : 1);
  // The top step lies above the greatest rate, so no curve runs along the frame.
  const uint64_t stepCount = maxRate / step + 1;
  const ValueScale rateScale = {false, LogAxis{}, step * stepCount};
  TextBuffer buffer = {};

  canvas.SelectFont(canvas.context, measurementState.axisFont);
  const int32_t titleHeight = Measure(canvas, kShortRateTitle).cy;
  canvas.SelectFont(canvas.context, measurementState.panelFont);
  FormatScaledDecimal(rateScale.top, 1000000000, RateDecimals(step), L"", buffer);
  plot.xL = area.left + kMargin + titleHeight + 6 + Measure(canvas, buffer).cx + 5;

  uint64_t latencyLow = 0, latencyHigh = 0;
  if (latency) {
    LatencyRange(data, &latencyLow, &latencyHigh);
    // The widest label is the top one or, below 1 ns, the bottom one.
    FormatScaledDecimal(latencyHigh, 1000, LatencyDecimals(latencyHigh), L"", buffer);
    int32_t labelWidth = Measure(canvas, buffer).cx;
    FormatScaledDecimal(latencyLow, 1000, LatencyDecimals(latencyLow), L"", buffer);
    if (Measure(canvas, buffer).cx > labelWidth) labelWidth = Measure(canvas, buffer).cx;
    plot.xR = area.right - kMargin - titleHeight - 6 - labelWidth - 8;
  } else {
    FormatBinaryQuantity(sizeUnits, PowerOfTwo(static_cast<uint32_t>(sizeAxis.high / kLogOne)), buffer);
    plot.xR = area.right - kMargin - Measure(canvas, buffer).cx / 2;
  }
  const int32_t width = plot.xR - plot.xL;
  if (width < 2) return;
  sizeAxis.origin = plot.xL;
  sizeAxis.extent = width;

  // Rate grid and labels at every step.
  for (uint64_t i = 0; i <= stepCount; ++i) {
    const int32_t y = ValueY(rateScale, plot, i * step);
    canvas.SelectSolidPen(canvas.context, kGridColour);
    if (i > 0) Segment(canvas, plot.xL, y, plot.xR, y);
    FormatScaledDecimal(i * step, 1000000000, RateDecimals(step), L"", buffer);
    const TextSize size = Measure(canvas, buffer);
    Text(canvas, plot.xL - 5 - size.cx, y - size.cy / 2, buffer, kTextColour);
  }
  PaintAxisTitle(canvas, area.left + kMargin, plot, kRateTitle, kShortRateTitle, kTextColour);

  // Size grid at every power of two, labelled every doubling, every second,
  // fourth, ... as the widest label needs.
  const int64_t firstPower = sizeAxis.low > 0 ? (sizeAxis.low + kLogOne - 1) / kLogOne : 0;
  const int64_t lastPower = sizeAxis.high / kLogOne;
  int64_t labelPitch = 0;
  for (int64_t power = firstPower; power <= lastPower && power < 64; ++power) {
    FormatBinaryQuantity(sizeUnits, PowerOfTwo(static_cast<uint32_t>(power)), buffer);
    if (Measure(canvas, buffer).cx + 10 > labelPitch) labelPitch = Measure(canvas, buffer).cx + 10;
  }
  const int64_t doublingWidth = kLogOne * width / (sizeAxis.high - sizeAxis.low);
  int64_t labelEvery = 1;
  while (labelEvery * doublingWidth < labelPitch && labelEvery < 64) labelEvery *= 2;
  for (int64_t power = firstPower; power <= lastPower && power < 64; ++power) {
    const uint64_t size = PowerOfTwo(static_cast<uint32_t>(power));
    const int32_t x = LogAxisPosition(sizeAxis, size);
    canvas.SelectSolidPen(canvas.context, kGridColour);
    if (x > plot.xL) Segment(canvas, x, plot.yT, x, plot.yB);
    if ((power - firstPower) % labelEvery != 0) continue;
    FormatBinaryQuantity(sizeUnits, size, buffer);
    const int32_t labelWidth = Measure(canvas, buffer).cx;
    const int32_t labelX = Clamp(x - labelWidth / 2, area.left + kMargin, area.right - kMargin - labelWidth);
    Text(canvas, labelX, plot.yB + 3, buffer, kTextColour);
  }

  // Each cache level inside the axis: a dotted line at its size and its name
  // above the plot, left out where it would run into the name before it.
  int32_t namesEnd = area.left;
  for (uint32_t i = 0; data.levels != nullptr && i < data.levelCount; ++i) {
    const SurveyChartLevel& level = data.levels[i];
    const int64_t position = Log2Fixed(level.sizeBytes);
    if (level.sizeBytes == 0 || position < sizeAxis.low || position > sizeAxis.high) continue;
    const int32_t x = LogAxisPosition(sizeAxis, level.sizeBytes);
    canvas.SelectDottedPen(canvas.context, kLevelMarkColour);
    Segment(canvas, x, plot.yT - 2, x, plot.yB);
    canvas.SelectSolidPen(canvas.context, kGridColour);
    if (level.name == nullptr) continue;
    const int32_t nameWidth = Measure(canvas, level.name).cx;
    const int32_t nameX = Clamp(x - nameWidth / 2, area.left + kMargin, area.right - kMargin - nameWidth);
    if (nameX < namesEnd) continue;
    Text(canvas, nameX, area.top, level.name, kLevelMarkColour);
    namesEnd = nameX + nameWidth + 6;
  }

  canvas.SelectSolidPen(canvas.context, kAxisColour);
  Segment(canvas, plot.xL, plot.yT, plot.xL, plot.yB);
  Segment(canvas, plot.xL, plot.yB, plot.xR + 1, plot.yB);

  for (int curve = 0; curve < 3; ++curve) {
    PaintCurve(canvas, data, sizeAxis, plot, rateScale, data.rates[curve], CurveColour(curve));
  }
  if (!latency) return;

  // The latency axis on the right: ticks and labels at 1, 2 and 5 times each
  // power of ten, 2 and 5 only where a decade has room for them.
  const ValueScale latencyScale = {true, LogAxis{Log2Fixed(latencyLow), Log2Fixed(latencyHigh), plot.yB, -height},
                                   0};
  canvas.SelectSolidPen(canvas.context, kLatencyColour);
  Segment(canvas, plot.xR, plot.yT, plot.xR, plot.yB + 1);
  const int64_t decadeHeight = int64_t{height} * Log2Fixed(10) / (latencyScale.logAxis.high - latencyScale.logAxis.low);
  const bool fineTicks = decadeHeight >= 4 * row;
  for (uint64_t decade = latencyLow; decade <= latencyHigh; decade *= 10) {
    const uint64_t multiples[3] = {1, 2, 5};
    for (uint64_t multiple : multiples) {
      const uint64_t value = decade * multiple;
      if (value > latencyHigh || (multiple > 1 && !fineTicks)) break;
      const int32_t y = ValueY(latencyScale, plot, value);
      Segment(canvas, plot.xR, y, plot.xR + 4, y);
      FormatScaledDecimal(value, 1000, LatencyDecimals(value), L"", buffer);
      Text(canvas, plot.xR + 7, y - Measure(canvas, buffer).cy / 2, buffer, kLatencyColour);
    }
    if (decade > UINT64_MAX / 10) break;
  }
  PaintAxisTitle(canvas, area.right - kMargin - titleHeight, plot, kLatencyTitle, kShortLatencyTitle, kLatencyColour);
  PaintCurve(canvas, data, sizeAxis, plot, latencyScale, data.latencyPicoseconds, kLatencyColour);
}

}  // namespace

void PaintSurveyChart(const Canvas& canvas, const Rect& clientRect, const SurveyChartData& data) {
  const Rect client = {Clamp(clientRect.left, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.top, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.right, -kCoordinateLimit, kCoordinateLimit),
                       Clamp(clientRect.bottom, -kCoordinateLimit, kCoordinateLimit)};
  if (client.right <= client.left || client.bottom <= client.top) return;
  void* const context = canvas.context;
  canvas.ClipToRect(context, client);
  canvas.FillRect(context, client, kBackground);
  canvas.SetTransparentText(context);
  canvas.SelectFont(context, measurementState.panelFont);
  const int32_t row = Measure(canvas, L"Ag").cy;
  const bool latency = data.latencyPicoseconds != nullptr && data.lengths != nullptr;

  const int32_t left = client.left + kMargin;
  const int32_t right = client.right - kMargin;
  int32_t top = PaintHeading(canvas, data.title, latency, left, client.top + kMargin, right, row);
  top = PaintFigurePanel(canvas, data, left, top + row / 2, right, row);
  PaintPlot(canvas, data, latency, Rect{client.left, top + row / 2, client.right, client.bottom}, row);
}
