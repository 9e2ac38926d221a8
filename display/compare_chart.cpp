#include "display/compare_chart.h"

#include "display/format.h"
#include "display/survey_drawing.h"
#include "display/survey_scales.h"

namespace {
const Colour runColours[] = {MakeColour(255, 210, 0),   MakeColour(0, 200, 255),   MakeColour(255, 90, 90),
                             MakeColour(120, 255, 120), MakeColour(210, 130, 255), MakeColour(255, 255, 255)};
const wchar_t* const groupTitles[3] = {L"read (GB/s)", L"write (GB/s)", L"copy (GB/s)"};

struct Panel {
  int32_t xL, xR, yT, yB;
  uint64_t top;  // the rate at yT
};

int32_t RateY(const Panel& panel, uint64_t rate) {
  return panel.yB - LinearOffset(rate > panel.top ? panel.top : rate, panel.top, panel.yB - panel.yT);
}

// A run's curve of one group as a polyline; a zero is a gap.
void PaintRunCurve(const Canvas& canvas, const CompareChartRun& run, int group, const LogAxis& sizeAxis,
                   const Panel& panel, Colour colour) {
  if (run.lengths == nullptr || run.rates[group] == nullptr) return;
  canvas.SelectSolidPen(canvas.context, colour);
  bool drawing = false;
  for (uint32_t i = 0; i < run.lengthCount; ++i) {
    const uint64_t rate = run.rates[group][i];
    if (run.lengths[i] == 0 || rate == 0) {
      drawing = false;
      continue;
    }
    const int32_t x = LogAxisPosition(sizeAxis, run.lengths[i]);
    const int32_t y = RateY(panel, rate);
    if (drawing) canvas.LineTo(canvas.context, x, y);
    else canvas.MoveTo(canvas.context, x, y);
    drawing = true;
  }
}

// The legend: a short line in each run's colour and its name, wrapped over
// as many rows as the width needs. Returns the y below it.
int32_t PaintLegend(const Canvas& canvas, const CompareChartData& data, int32_t left, int32_t top, int32_t right,
                    int32_t row) {
  int32_t x = left, y = top;
  for (uint32_t i = 0; i < data.runCount; ++i) {
    const wchar_t* name = data.runs[i].name != nullptr ? data.runs[i].name : L"";
    const int32_t width = 24 + Measure(canvas, name).cx + 18;
    if (x > left && x + width > right) {
      x = left;
      y += row;
    }
    canvas.SelectSolidPen(canvas.context, CompareRunColour(i));
    for (int32_t thick = 0; thick < 2; ++thick) Segment(canvas, x, y + row / 2 + thick, x + 18, y + row / 2 + thick);
    Text(canvas, x + 24, y, name, CompareRunColour(i));
    x += width;
  }
  return y + row;
}
}  // namespace

Colour CompareRunColour(uint32_t run) { return runColours[run % (sizeof runColours / sizeof runColours[0])]; }

void PaintCompareChart(const Canvas& canvas, const Rect& client, const CompareChartData& data, FontHandle font) {
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

  // One size axis for all runs: their least and greatest nonzero lengths.
  uint64_t least = 0, greatest = 0, maxRates[3] = {};
  for (uint32_t r = 0; r < data.runCount; ++r) {
    const CompareChartRun& run = data.runs[r];
    for (uint32_t i = 0; run.lengths != nullptr && i < run.lengthCount; ++i) {
      const uint64_t length = run.lengths[i];
      if (length == 0) continue;
      if (least == 0 || length < least) least = length;
      if (length > greatest) greatest = length;
      for (int group = 0; group < 3; ++group)
        if (run.rates[group] != nullptr && run.rates[group][i] > maxRates[group]) maxRates[group] = run.rates[group][i];
    }
  }
  if (greatest == 0) least = 2048, greatest = uint64_t{64} << 20;
  LogAxis sizeAxis = {Log2Fixed(least), Log2Fixed(greatest), 0, 0};
  if (sizeAxis.high - sizeAxis.low < kLogOne / 16) sizeAxis.low -= kLogOne, sizeAxis.high += kLogOne;

  TextBuffer buffer = {};
  FormatScaledDecimal(uint64_t{999} * 1000000000, 1000000000, 0, L"", buffer);
  const int32_t xL = left + Measure(canvas, buffer).cx + 6;
  FormatBinaryQuantity(sizeUnits, PowerOfTwo(static_cast<uint32_t>(sizeAxis.high / kLogOne)), buffer);
  const int32_t xR = right - Measure(canvas, buffer).cx / 2;
  const int32_t panelHeight = (client.bottom - kSurveyMargin - row - 3 - top) / 3;
  if (xR - xL < 2 || panelHeight < 3 * row) return;
  sizeAxis.origin = xL;
  sizeAxis.extent = xR - xL;
  const int64_t firstPower = sizeAxis.low > 0 ? (sizeAxis.low + kLogOne - 1) / kLogOne : 0;
  const int64_t lastPower = sizeAxis.high / kLogOne;

  for (int group = 0; group < 3; ++group) {
    const int32_t panelTop = top + group * panelHeight;
    Panel panel = {xL, xR, panelTop + row + 2, panelTop + panelHeight - row / 2, 0};
    Text(canvas, xL + 4, panelTop, groupTitles[group], kSurveyTextColour);
    const int32_t maxSteps = (panel.yB - panel.yT) / (2 * row);
    const uint64_t maxRate = maxRates[group] != 0 ? maxRates[group] : 1000000000;
    const uint64_t step = RoundRateStep(maxRate, maxSteps > 0 ? static_cast<uint32_t>(maxSteps) : 1);
    const uint64_t stepCount = maxRate / step + 1;
    panel.top = step * stepCount;
    const uint32_t decimals = step >= 1000000000 ? 0 : step >= 100000000 ? 1 : 2;
    for (uint64_t i = 0; i <= stepCount; ++i) {
      const int32_t y = RateY(panel, i * step);
      canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
      if (i > 0) Segment(canvas, xL, y, xR, y);
      FormatScaledDecimal(i * step, 1000000000, decimals, L"", buffer);
      const TextSize size = Measure(canvas, buffer);
      Text(canvas, xL - 4 - size.cx, y - size.cy / 2, buffer, kSurveyTextColour);
    }
    canvas.SelectSolidPen(canvas.context, kSurveyGridColour);
    for (int64_t power = firstPower; power <= lastPower && power < 64; ++power) {
      const int32_t x = LogAxisPosition(sizeAxis, PowerOfTwo(static_cast<uint32_t>(power)));
      if (x > xL) Segment(canvas, x, panel.yT, x, panel.yB);
    }
    canvas.SelectSolidPen(canvas.context, kSurveyAxisColour);
    Segment(canvas, xL, panel.yT, xL, panel.yB);
    Segment(canvas, xL, panel.yB, xR + 1, panel.yB);
    for (uint32_t r = 0; r < data.runCount; ++r)
      PaintRunCurve(canvas, data.runs[r], group, sizeAxis, panel, CompareRunColour(r));
  }

  // Size labels under the last panel, every doubling or as sparse as they fit.
  const int32_t labelY = top + 3 * panelHeight - row / 2 + 3;
  const int64_t doublingWidth = kLogOne * (xR - xL) / (sizeAxis.high - sizeAxis.low);
  FormatBinaryQuantity(sizeUnits, 512 * 1024, buffer);
  const int64_t labelPitch = Measure(canvas, buffer).cx + 10;
  int64_t labelEvery = 1;
  while (labelEvery * doublingWidth < labelPitch && labelEvery < 64) labelEvery *= 2;
  for (int64_t power = firstPower; power <= lastPower && power < 64; power += labelEvery) {
    const uint64_t size = PowerOfTwo(static_cast<uint32_t>(power));
    FormatBinaryQuantity(sizeUnits, size, buffer);
    const int32_t width = Measure(canvas, buffer).cx;
    Text(canvas, Clamp(LogAxisPosition(sizeAxis, size) - width / 2, left, right - width), labelY, buffer,
         kSurveyTextColour);
  }
}
