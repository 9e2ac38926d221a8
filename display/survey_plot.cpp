#include "display/survey_plot.h"

#include "display/format.h"
#include "display/survey_drawing.h"
#include "display/survey_scales.h"

namespace {

constexpr uint64_t kMaxRate = uint64_t{1000000000000000000};  // 10^9 GB/s: any rate beyond sits on top

const wchar_t kRateTitle[] = L"Transfer rate (GB/s)";
const wchar_t kShortRateTitle[] = L"GB/s";
const wchar_t kLatencyTitle[] = L"Latency (ns)";
const wchar_t kShortLatencyTitle[] = L"ns";

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
void PaintAxisTitle(const Canvas& canvas, const SurveyChartStyle& style, int32_t x, const Plot& plot,
                    const wchar_t* title, const wchar_t* shortTitle, Colour colour) {
  canvas.SelectFont(canvas.context, style.axisFont);
  const int32_t height = plot.yB - plot.yT;
  const wchar_t* const text = Measure(canvas, title).cx <= height ? title : shortTitle;
  const int32_t length = Measure(canvas, text).cx;
  if (length <= height) Text(canvas, x, plot.yT + (height + length) / 2, text, colour);
  canvas.SelectFont(canvas.context, style.panelFont);
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

}  // namespace

void PaintSurveyPlot(const Canvas& canvas, const SurveyChartStyle& style, const SurveyChartData& data, bool latency,
                     const Rect& area, int32_t row) {
  // The size axis spans the nonzero lengths; a single length sits in the
  // middle of two doublings, and without lengths the axis shows 2 KiB to 64
  // MiB.
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

  Plot plot = {0, 0, area.top + row + 3, area.bottom - kSurveyMargin - row - 3};
  const int32_t height = plot.yB - plot.yT;
  if (height < row) return;
  const int32_t maxSteps = 2 * height / (5 * row);  // grid lines at least 2.5 text rows apart
  const uint64_t step = RoundRateStep(maxRate, maxSteps > 0 ? static_cast<uint32_t>(maxSteps) : 1);
  // The top step lies above the greatest rate, so no curve runs along the
  // frame.
  const uint64_t stepCount = maxRate / step + 1;
  const ValueScale rateScale = {false, LogAxis{}, step * stepCount};
  TextBuffer buffer = {};

  canvas.SelectFont(canvas.context, style.axisFont);
  const int32_t titleHeight = Measure(canvas, kShortRateTitle).cy;
  canvas.SelectFont(canvas.context, style.panelFont);
  FormatScaledDecimal(rateScale.top, 1000000000, RateDecimals(step), L"", buffer);
  plot.xL = area.left + kSurveyMargin + titleHeight + 6 + Measure(canvas, buffer).cx + 5;

  uint64_t latencyLow = 0, latencyHigh = 0;
  if (latency) {
    LatencyRange(data, &latencyLow, &latencyHigh);
    // The widest label is the top one or, below 1 ns, the bottom one.
    FormatScaledDecimal(latencyHigh, 1000, LatencyDecimals(latencyHigh), L"", buffer);
    int32_t labelWidth = Measure(canvas, buffer).cx;
    FormatScaledDecimal(latencyLow, 1000, LatencyDecimals(latencyLow), L"", buffer);
    if (Measure(canvas, buffer).cx > labelWidth) labelWidth = Measure(canvas, buffer).cx;
    plot.xR = area.right - kSurveyMargin - titleHeight - 6 - labelWidth - 8;
  } else {
    FormatBinaryQuantity(sizeUnits, PowerOfTwo(static_cast<uint32_t>(sizeAxis.high / kLogOne)), buffer);
    plot.xR = area.right - kSurveyMargin - Measure(canvas, buffer).cx / 2;
  }
  const int32_t width = plot.xR - plot.xL;
  if (width < 2) return;
  sizeAxis.origin = plot.xL;
  sizeAxis.extent = width;

  // Rate grid and labels at every step.
  for (uint64_t i = 0; i <= stepCount; ++i) {
    const int32_t y = ValueY(rateScale, plot, i * step);
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    if (i > 0) Segment(canvas, plot.xL, y, plot.xR, y);
    FormatScaledDecimal(i * step, 1000000000, RateDecimals(step), L"", buffer);
    const TextSize size = Measure(canvas, buffer);
    Text(canvas, plot.xL - 5 - size.cx, y - size.cy / 2, buffer, kSurveyTextColour);
  }
  PaintAxisTitle(canvas, style, area.left + kSurveyMargin, plot, kRateTitle, kShortRateTitle, kSurveyTextColour);

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
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    if (x > plot.xL) Segment(canvas, x, plot.yT, x, plot.yB);
    if ((power - firstPower) % labelEvery != 0) continue;
    FormatBinaryQuantity(sizeUnits, size, buffer);
    const int32_t labelWidth = Measure(canvas, buffer).cx;
    const int32_t labelX =
        Clamp(x - labelWidth / 2, area.left + kSurveyMargin, area.right - kSurveyMargin - labelWidth);
    Text(canvas, labelX, plot.yB + 3, buffer, kSurveyTextColour);
  }

  // Each cache level inside the axis: a dotted line at its size and its name
  // above the plot, left out where it would run into the name before it.
  int32_t namesEnd = area.left;
  for (uint32_t i = 0; data.levels != nullptr && i < data.levelCount; ++i) {
    const SurveyChartLevel& level = data.levels[i];
    const int64_t position = Log2Fixed(level.sizeBytes);
    if (level.sizeBytes == 0 || position < sizeAxis.low || position > sizeAxis.high) continue;
    const int32_t x = LogAxisPosition(sizeAxis, level.sizeBytes);
    canvas.SelectDottedPen(canvas.context, kSurveyLevelMarkColour);
    Segment(canvas, x, plot.yT - 2, x, plot.yB);
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    if (level.name == nullptr) continue;
    const int32_t nameWidth = Measure(canvas, level.name).cx;
    const int32_t nameX = Clamp(x - nameWidth / 2, area.left + kSurveyMargin, area.right - kSurveyMargin - nameWidth);
    if (nameX < namesEnd) continue;
    Text(canvas, nameX, area.top, level.name, kSurveyLevelMarkColour);
    namesEnd = nameX + nameWidth + 6;
  }

  canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
  Segment(canvas, plot.xL, plot.yT, plot.xL, plot.yB);
  Segment(canvas, plot.xL, plot.yB, plot.xR + 1, plot.yB);

  for (int curve = 0; curve < 3; ++curve) {
    PaintCurve(canvas, data, sizeAxis, plot, rateScale, data.rates[curve], SurveyCurveColour(style, curve));
  }
  if (!latency) return;

  // The latency axis on the right: ticks and labels at 1, 2 and 5 times each
  // power of ten, 2 and 5 only where a decade has room for them.
  const ValueScale latencyScale = {true, LogAxis{Log2Fixed(latencyLow), Log2Fixed(latencyHigh), plot.yB, -height}, 0};
  canvas.SelectSolidPen(canvas.context, kSurveyLatencyColour);
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
      Text(canvas, plot.xR + 7, y - Measure(canvas, buffer).cy / 2, buffer, kSurveyLatencyColour);
    }
    if (decade > UINT64_MAX / 10) break;
  }
  PaintAxisTitle(canvas, style, area.right - kSurveyMargin - titleHeight, plot, kLatencyTitle, kShortLatencyTitle,
                 kSurveyLatencyColour);
  PaintCurve(canvas, data, sizeAxis, plot, latencyScale, data.latencyPicoseconds, kSurveyLatencyColour);
}
