#include "display/loaded_latency_chart.h"

#include <string>

#include "display/compare_chart.h"
#include "display/format.h"
#include "display/survey_drawing.h"
#include "display/survey_scales.h"

namespace {

constexpr uint64_t kGigabyte = 1000000000;
constexpr uint64_t kNanosecond = 1000;  // in picoseconds
constexpr uint64_t kMaxValue = uint64_t{1000000000000000000};  // any value beyond sits on the axis' end
constexpr Colour kIdleColour = MakeColour(190, 190, 190);
constexpr int32_t kTick = 3;
constexpr int32_t kMarkHalf = 2;  // a mark is a square of 2 * kMarkHalf + 1 pixels

const wchar_t kBandwidthTitle[] = L"bandwidth (GB/s)";
const wchar_t kLatencyTitle[] = L"latency (ns)";

struct Plot {
  int32_t xL, xR, yT, yB;
  uint64_t xTop, yTop;  // the bandwidth at xR, the latency at yT
};

int32_t BandwidthX(const Plot& plot, uint64_t bytesPerSecond) {
  return plot.xL + LinearOffset(bytesPerSecond, plot.xTop, plot.xR - plot.xL);
}
int32_t LatencyY(const Plot& plot, uint64_t picoseconds) {
  return plot.yB - LinearOffset(picoseconds, plot.yTop, plot.yB - plot.yT);
}

void Mark(const Canvas& canvas, int32_t x, int32_t y, Colour colour) {
  canvas.FillRect(canvas.context, Rect{x - kMarkHalf, y - kMarkHalf, x + kMarkHalf + 1, y + kMarkHalf + 1}, colour);
}

bool PointPresent(const LoadedLatencyChartCurve& curve, uint32_t i) {
  return curve.bytesPerSecond != nullptr && curve.picoseconds != nullptr && curve.picoseconds[i] != 0;
}

// The least multiple of step at or above value, at least one step.
uint64_t RoundUp(uint64_t value, uint64_t step) {
  const uint64_t steps = (value + step - 1) / step;
  return (steps > 0 ? steps : 1) * step;
}

// The legend: a short line with a mark in each curve's colour and its name,
// wrapped over as many rows as the width needs. Returns the y below it.
int32_t PaintLegend(const Canvas& canvas, const LoadedLatencyChartData& data, int32_t left, int32_t top,
                    int32_t right, int32_t row) {
  int32_t x = left, y = top;
  for (uint32_t i = 0; i < data.curveCount; ++i) {
    const wchar_t* name = data.curves[i].name != nullptr ? data.curves[i].name : L"";
    const int32_t width = 24 + Measure(canvas, name).cx + 18;
    if (x > left && x + width > right) {
      x = left;
      y += row;
    }
    canvas.SelectSolidPen(canvas.context, CompareRunColour(i));
    Segment(canvas, x, y + row / 2, x + 19, y + row / 2);
    Mark(canvas, x + 9, y + row / 2, CompareRunColour(i));
    Text(canvas, x + 24, y, name, CompareRunColour(i));
    x += width;
  }
  return data.curveCount > 0 ? y + row : top;
}

// A curve as a polyline through its present points, a missing one a gap,
// with a mark on every point.
void PaintCurve(const Canvas& canvas, const LoadedLatencyChartCurve& curve, const Plot& plot, Colour colour) {
  canvas.SelectSolidPen(canvas.context, colour);
  bool drawing = false;
  for (uint32_t i = 0; i < curve.pointCount; ++i) {
    if (!PointPresent(curve, i)) {
      drawing = false;
      continue;
    }
    const int32_t x = BandwidthX(plot, curve.bytesPerSecond[i]), y = LatencyY(plot, curve.picoseconds[i]);
    if (drawing) canvas.LineTo(canvas.context, x, y);
    else canvas.MoveTo(canvas.context, x, y);
    drawing = true;
  }
  for (uint32_t i = 0; i < curve.pointCount; ++i)
    if (PointPresent(curve, i))
      Mark(canvas, BandwidthX(plot, curve.bytesPerSecond[i]), LatencyY(plot, curve.picoseconds[i]), colour);
}

}  // namespace

void PaintLoadedLatencyChart(const Canvas& canvas, const Rect& client, const LoadedLatencyChartData& data,
                             FontHandle font) {
  if (client.right <= client.left || client.bottom <= client.top) return;
  canvas.ClipToRect(canvas.context, client);
  canvas.FillRect(canvas.context, client, kSurveyBackground);
  canvas.SetTransparentText(canvas.context);
  canvas.SelectFont(canvas.context, font);
  const int32_t row = Measure(canvas, L"Ag").cy;
  const int32_t left = client.left + kSurveyMargin, right = client.right - kSurveyMargin;
  int32_t top = client.top + kSurveyMargin;
  if (data.title != nullptr) {
    Text(canvas, left, top, data.title, kSurveyTextColour);
    top += row + row / 2;
  }
  top = PaintLegend(canvas, data, left, top, right, row) + row / 2;
  const int32_t latencyTitleY = top;

  // Both axes start at 0 and end at a round figure at or above the greatest
  // bandwidth and latency (the idle latency included); 1 GB/s and 100 ns
  // without points.
  uint64_t maxBandwidth = 0, maxLatency = data.idlePicoseconds;
  bool anyPoint = false;
  for (uint32_t c = 0; c < data.curveCount; ++c) {
    const LoadedLatencyChartCurve& curve = data.curves[c];
    for (uint32_t i = 0; i < curve.pointCount; ++i) {
      if (!PointPresent(curve, i)) continue;
      anyPoint = true;
      if (curve.bytesPerSecond[i] > maxBandwidth) maxBandwidth = curve.bytesPerSecond[i];
      if (curve.picoseconds[i] > maxLatency) maxLatency = curve.picoseconds[i];
    }
  }
  if (maxBandwidth == 0) maxBandwidth = kGigabyte;
  if (maxLatency == 0) maxLatency = 100 * kNanosecond;
  if (maxBandwidth > kMaxValue) maxBandwidth = kMaxValue;
  if (maxLatency > kMaxValue) maxLatency = kMaxValue;

  // Latency ticks at least two rows apart, labelled at the axis' left.
  Plot plot = {0, 0, top + row + row / 2 + 2, client.bottom - kSurveyMargin - 2 * row - kTick - 4, 0, 0};
  if (plot.yB - plot.yT < row) return;
  const int32_t maxYSteps = (plot.yB - plot.yT) / (2 * row);
  const uint64_t yStep = RoundStep(maxLatency, maxYSteps > 0 ? static_cast<uint32_t>(maxYSteps) : 1, 100);
  plot.yTop = RoundUp(maxLatency, yStep);
  const uint32_t yDecimals = StepDecimals(yStep, kNanosecond);
  TextBuffer buffer = {};
  FormatScaledDecimal(plot.yTop, kNanosecond, yDecimals, L"", buffer);
  plot.xL = left + Measure(canvas, buffer).cx + kTick + 4;

  // Bandwidth ticks as far apart as a wide label and some room, the axis
  // ending half its last label short of the right margin.
  const int32_t labelPitch = Measure(canvas, L"000.00").cx + 12;
  const int32_t maxXSteps = (right - plot.xL) / labelPitch;
  const uint64_t xStep = RoundRateStep(maxBandwidth, maxXSteps > 0 ? static_cast<uint32_t>(maxXSteps) : 1);
  plot.xTop = RoundUp(maxBandwidth, xStep);
  const uint32_t xDecimals = StepDecimals(xStep, kGigabyte);
  FormatScaledDecimal(plot.xTop, kGigabyte, xDecimals, L"", buffer);
  plot.xR = right - Measure(canvas, buffer).cx / 2;
  if (plot.xR - plot.xL < 2) return;

  for (uint64_t i = 0; i <= plot.yTop / yStep; ++i) {
    const uint64_t value = i * yStep;
    const int32_t y = LatencyY(plot, value);
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    if (value > 0) Segment(canvas, plot.xL + 1, y, plot.xR + 1, y);
    canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
    Segment(canvas, plot.xL - kTick, y, plot.xL, y);
    FormatScaledDecimal(value, kNanosecond, yDecimals, L"", buffer);
    const TextSize size = Measure(canvas, buffer);
    Text(canvas, plot.xL - kTick - 2 - size.cx, y - size.cy / 2, buffer, kSurveyTextColour);
  }
  for (uint64_t i = 0; i <= plot.xTop / xStep; ++i) {
    const uint64_t value = i * xStep;
    const int32_t x = BandwidthX(plot, value);
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    if (value > 0) Segment(canvas, x, plot.yT, x, plot.yB);
    canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
    Segment(canvas, x, plot.yB + 1, x, plot.yB + 1 + kTick);
    FormatScaledDecimal(value, kGigabyte, xDecimals, L"", buffer);
    const int32_t width = Measure(canvas, buffer).cx;
    Text(canvas, Clamp(x - width / 2, left, right - width), plot.yB + kTick + 2, buffer, kSurveyTextColour);
  }
  canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
  Segment(canvas, plot.xL, plot.yT, plot.xL, plot.yB);
  Segment(canvas, plot.xL, plot.yB, plot.xR + 1, plot.yB);
  Text(canvas, left, latencyTitleY, kLatencyTitle, kSurveyTextColour);
  Text(canvas, right - Measure(canvas, kBandwidthTitle).cx, plot.yB + kTick + 2 + row + 2, kBandwidthTitle,
       kSurveyTextColour);

  // The idle latency under the curves, which start from it; its figure below
  // the line at the right, where the loaded latencies lie above it.
  const int32_t idleY = LatencyY(plot, data.idlePicoseconds);
  if (data.idlePicoseconds != 0) {
    canvas.SelectDottedPen(canvas.context, kIdleColour);
    Segment(canvas, plot.xL + 1, idleY, plot.xR + 1, idleY);
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
  }
  for (uint32_t c = 0; c < data.curveCount; ++c) PaintCurve(canvas, data.curves[c], plot, CompareRunColour(c));
  if (data.idlePicoseconds != 0) {
    FormatNanoseconds(data.idlePicoseconds, buffer);
    const std::wstring label = L"idle " + std::wstring(buffer);
    const TextSize size = Measure(canvas, label.c_str());
    const int32_t below = idleY + 3, above = idleY - 2 - size.cy;
    Text(canvas, plot.xR - size.cx, below + size.cy <= plot.yB ? below : above, label.c_str(), kIdleColour);
  }
  if (!anyPoint) {
    const TextSize size = Measure(canvas, L"no points");
    Text(canvas, (plot.xL + plot.xR - size.cx) / 2, (plot.yT + plot.yB - size.cy) / 2, L"no points",
         kSurveyQuietTextColour);
  }
}
