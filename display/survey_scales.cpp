#include "display/survey_scales.h"

#include "display/quantity_text.h"

namespace {

// An offset never goes beyond this many pixels from its axis' origin.
constexpr int64_t kMaxOffset = int64_t{1} << 26;

}  // namespace

int64_t Log2Fixed(uint64_t value) {
  if (value <= 1) return 0;
  const uint32_t whole = HighestBitIndex(value);
  // The mantissa in [1, 2) with 31 fraction bits: below 2^32, so its square
  // fits 64 bits.
  uint64_t mantissa = whole >= 31 ? value >> (whole - 31) : value << (31 - whole);
  int64_t fraction = 0;
  for (int bit = 15; bit >= 0; --bit) {
    mantissa = (mantissa * mantissa) >> 31;
    if (mantissa >= (uint64_t{2} << 31)) {
      mantissa >>= 1;
      fraction |= int64_t{1} << bit;
    }
  }
  return static_cast<int64_t>(whole) * kLogOne + fraction;
}

int32_t LogAxisPosition(const LogAxis& axis, uint64_t value) {
  int64_t offset = (Log2Fixed(value) - axis.low) * axis.extent / (axis.high - axis.low);
  if (offset > kMaxOffset) offset = kMaxOffset;
  if (offset < -kMaxOffset) offset = -kMaxOffset;
  return axis.origin + static_cast<int32_t>(offset);
}

int32_t LinearOffset(uint64_t rate, uint64_t top, int32_t extent) {
  if (top == 0 || extent <= 0) return 0;
  if (rate > top) rate = top;
  const uint64_t wideExtent = static_cast<uint64_t>(extent);
  while (top > UINT64_MAX / wideExtent) {
    top >>= 1;
    rate >>= 1;
  }
  return static_cast<int32_t>(rate * wideExtent / top);
}

uint64_t RoundStep(uint64_t maxValue, uint32_t maxSteps, uint64_t leastStep) {
  if (maxSteps == 0) maxSteps = 1;
  const uint64_t multiples[3] = {1, 2, 5};
  uint64_t decade = leastStep;
  for (;;) {
    for (uint64_t multiple : multiples) {
      const uint64_t step = multiple * decade;
      if (maxValue / step + 1 <= maxSteps) return step;
    }
    if (decade >= uint64_t{1000000000000000000}) return decade * 10;
    decade *= 10;
  }
}

uint64_t RoundRateStep(uint64_t maxRate, uint32_t maxSteps) { return RoundStep(maxRate, maxSteps, 10000000); }

uint32_t StepDecimals(uint64_t step, uint64_t unit) { return step >= unit ? 0 : step >= unit / 10 ? 1 : 2; }

void FormatScaledDecimal(uint64_t value, uint64_t unit, uint32_t decimals, const wchar_t* suffix,
                         TextBuffer& textBuffer) {
  const std::string text = DecimalText(value, unit, decimals > 6 ? 6 : decimals);
  int32_t out = 0;
  for (char c : text) textBuffer[out++] = static_cast<wchar_t>(c);
  while (*suffix != 0 && out < kTextBufferLength - 1) textBuffer[out++] = *suffix++;
  textBuffer[out] = 0;
}

void FormatGigabytesPerSecond(uint64_t rate, TextBuffer& textBuffer) {
  FormatScaledDecimal(rate, 1000000000, rate >= uint64_t{99995000000} ? 1 : 2, L" GB/s", textBuffer);
}

void FormatNanoseconds(uint64_t picoseconds, TextBuffer& textBuffer) {
  const uint32_t decimals = picoseconds < 9995 ? 2 : picoseconds < 99950 ? 1 : 0;
  FormatScaledDecimal(picoseconds, 1000, decimals, L" ns", textBuffer);
}
