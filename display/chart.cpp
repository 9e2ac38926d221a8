#include "display/chart.h"

#include "display/display_state.h"
#include "display/format.h"
#include "record/state.h"

namespace {

constexpr Colour kBackground = MakeColour(0, 0, 0);
constexpr Colour kGridColour = MakeColour(0, 80, 0);
constexpr Colour kTextColour = MakeColour(255, 255, 255);
constexpr Colour kCacheMarkColour = MakeColour(255, 0, 0);

const wchar_t kTitle[] = L"Transferrate";
constexpr int32_t kTitleLength = 12;

// A pixel offset never goes beyond this: far outside any screen, so clipped
// away, yet well inside the coordinates every backend accepts. It only
// matters for a value far above the scale, such as an entry that a running
// sweep raised after this paint chose chartMaxRate.
constexpr uint64_t kMaxPixelOffset = uint64_t{1} << 26;

// One axis: value v maps to the offset (v * extent) / divisor from the axis
// origin, truncated, with extent > 0 and divisor > 0.
struct AxisScale {
  uint64_t extent;
  uint64_t divisor;
  uint64_t productLimit;  // largest v whose product with extent fits 64 bits
};

AxisScale MakeAxisScale(int32_t extent, uint64_t divisor) {
  const uint64_t wideExtent = static_cast<uint64_t>(extent);
  return AxisScale{wideExtent, divisor, UINT64_MAX / wideExtent};
}

// (remainder * extent) / divisor for remainder < divisor, for products
// beyond 64 bits: the bits of extent are taken from the top, and quotient and
// partial stay the quotient and remainder of remainder * (the bits taken so
// far) divided by divisor. partial < divisor keeps each step to at most one
// subtraction; a carry out of bit 63 means the true value passed divisor.
uint64_t WideScaledRemainder(uint64_t remainder, uint64_t extent, uint64_t divisor) {
  uint64_t quotient = 0;
  uint64_t partial = 0;
  for (int bit = 63; bit >= 0; --bit) {
    if ((extent >> bit) == 0) continue;  // leading zeros
    // Doubling for the next bit.
    const bool carry = (partial >> 63) != 0;
    partial <<= 1;
    quotient <<= 1;
    if (carry || partial >= divisor) {
      partial -= divisor;
      quotient += 1;
    }
    if ((extent >> bit) & 1) {
      // Adding remainder for a set bit.
      const uint64_t sum = partial + remainder;
      const bool sumCarry = sum < partial;
      partial = sum;
      if (sumCarry || partial >= divisor) {
        partial -= divisor;
        quotient += 1;
      }
    }
  }
  return quotient;
}

int32_t ScaledOffset(const AxisScale& scale, uint64_t value) {
  uint64_t offset;
  if (value <= scale.productLimit) {
    offset = value * scale.extent / scale.divisor;
  } else {
    // The exact quotient of the 128-bit product: whole multiples first.
    const uint64_t whole = value / scale.divisor;
    if (whole >= kMaxPixelOffset / scale.extent + 1) return static_cast<int32_t>(kMaxPixelOffset);
    offset = whole * scale.extent + WideScaledRemainder(value % scale.divisor, scale.extent, scale.divisor);
  }
  return static_cast<int32_t>(offset < kMaxPixelOffset ? offset : kMaxPixelOffset);
}

// The state the results panel relies on after the chart.
void LeaveStateForPanel(Canvas& canvas) {
  void* const context = canvas.context;
  canvas.SelectSolidPen(context, kGridColour);
  canvas.SetTextColour(context, kTextColour);
  canvas.SetTransparentText(context);
  canvas.SelectFont(context, displayState.panelFont);
}

}  // namespace

void PaintRateChart(Canvas& canvas, const Rect& rect) {
  MeasurementState& state = measurementState;
  void* const context = canvas.context;
  const uint32_t count = ResultArraysExist() ? BlockCount() : 0;
  const uint64_t* const curves[3] = {state.readRates, state.writeRates, state.copyRates};

  // The top of the rate scale; starting at 1 keeps the divisor nonzero.
  uint64_t maxRate = 1;
  for (const uint64_t* curve : curves) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t rate = LoadWhole(&curve[i]);
      if (rate > maxRate) maxRate = rate;
    }
  }
  displayState.chartMaxRate = maxRate;

  if (rect.right <= rect.left || rect.bottom <= rect.top) {
    LeaveStateForPanel(canvas);
    return;
  }

  canvas.SelectSolidPen(context, kGridColour);
  canvas.SelectFont(context, displayState.axisFont);
  canvas.ClipToRect(context, rect);
  canvas.FillRect(context, rect, kBackground);
  canvas.DrawSunkenEdge(context, rect);
  canvas.SetTextColour(context, kTextColour);
  canvas.SetTransparentText(context);

  const int32_t xL = rect.left + 70;
  const int32_t xR = rect.right - 5;
  const int32_t yT = rect.top + 5;
  const int32_t yB = rect.bottom - 25;
  const int32_t height = yB - yT;
  const int32_t width = xR - xL;
  if (height <= 0 || width <= 0) {
    // No room for a plot: the mappings would turn negative extents into
    // wrapped coordinates, so the frame stays empty.
    canvas.SelectFont(context, displayState.panelFont);
    return;
  }

  // The title runs upwards in the turned font from yT + its length to yT.
  const int32_t titleLength = canvas.MeasureText(context, kTitle, kTitleLength).cx;
  canvas.DrawString(context, rect.left + 5, yT + titleLength, kTitle, kTitleLength);

  canvas.SelectFont(context, displayState.panelFont);
  TextBuffer textBuffer = {};

  // Rate grid: a line at every power of two up to chartMaxRate. A label is
  // drawn only once its line has risen more than half a label height above
  // the previous line, labelled or not; 1 B/s is always drawn.
  const AxisScale rateScale = MakeAxisScale(height, maxRate);
  int32_t previousY = yB;
  const uint32_t topRateBit = HighestBitIndex(maxRate);
  for (uint32_t k = 0; k <= topRateBit; ++k) {
    const uint64_t rate = PowerOfTwo(k);
    const int32_t y = yB - ScaledOffset(rateScale, rate);
    FormatBinaryQuantity(rateUnits, rate, textBuffer);
    const int32_t length = TextLength(textBuffer);
    const TextSize size = canvas.MeasureText(context, textBuffer, length);
    if (k == 0 || y + size.cy / 2 < previousY) {
      canvas.DrawString(context, xL - size.cx - 5, y - size.cy / 2, textBuffer, length);
    }
    canvas.SelectSolidPen(context, kGridColour);
    canvas.MoveTo(context, xL, y);
    canvas.LineTo(context, xR, y);
    previousY = y;
  }

  // Size grid: a line at every power of two up to testAreaSize, labels
  // centred below their lines unless that would pass the plot's right edge,
  // and only where the label starts right of the previous line.
  uint64_t span = state.testAreaSize - 2048;
  if (span == 0) span = 1;
  const AxisScale sizeScale = MakeAxisScale(width, span);
  int32_t previousX = xL;
  const uint32_t topSizeBit = HighestBitIndex(state.testAreaSize);
  for (uint32_t k = 0; k <= topSizeBit; ++k) {
    const uint64_t size = PowerOfTwo(k);
    const int32_t x = xL + ScaledOffset(sizeScale, size);
    FormatBinaryQuantity(sizeUnits, size, textBuffer);
    const int32_t length = TextLength(textBuffer);
    const TextSize extent = canvas.MeasureText(context, textBuffer, length);
    if (k == 0 || x - extent.cx / 2 > previousX) {
      const int32_t left = x + extent.cx / 2 < xR ? x - extent.cx / 2 : xR - extent.cx;
      canvas.DrawString(context, left, rect.bottom - extent.cy - 5, textBuffer, length);
    }
    canvas.SelectSolidPen(context, kGridColour);
    canvas.MoveTo(context, x, yT);
    canvas.LineTo(context, x, yB);
    previousX = x;
  }

  // Cache marks, on the same scale as the curves; a cache larger than the
  // scale's span is marked outside the plot, where the clip removes it.
  if (state.showCacheRegions) {
    canvas.SelectDottedPen(context, kCacheMarkColour);
    const int32_t x1 = xL + ScaledOffset(sizeScale, state.l1CacheSize);
    const int32_t x2 = xL + ScaledOffset(sizeScale, state.l2CacheSize);
    canvas.MoveTo(context, x1, yT);
    canvas.LineTo(context, x1, yB);
    canvas.MoveTo(context, x2, yT);
    canvas.LineTo(context, x2, yB);
  }
  // The solid pen again, still in the grid colour, whether or not the marks
  // were drawn.
  canvas.SelectSolidPen(context, kGridColour);

  // Curves from the origin, read, write, then copy on top.
  for (int j = 0; j < 3; ++j) {
    canvas.MoveTo(context, xL, yB);
    canvas.SelectSolidPen(context, displayState.curveColours[j]);
    const uint64_t* const curve = curves[j];
    for (uint32_t i = 0; i < count; ++i) {
      canvas.LineTo(context, xL + ScaledOffset(sizeScale, BlockLength(i)),
                    yB - ScaledOffset(rateScale, LoadWhole(&curve[i])));
    }
  }
}
