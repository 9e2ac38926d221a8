#include "display/survey_scales.h"

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

uint64_t RoundRateStep(uint64_t maxRate, uint32_t maxSteps) {
  if (maxSteps == 0) maxSteps = 1;
  const uint64_t multiples[3] = {1, 2, 5};
  uint64_t decade = 10000000;
  for (;;) {
    for (uint64_t multiple : multiples) {
      const uint64_t step = multiple * decade;
      if (maxRate / step + 1 <= maxSteps) return step;
    }
    if (decade >= uint64_t{1000000000000000000}) return decade * 10;
    decade *= 10;
  }
}

void FormatScaledDecimal(uint64_t value, uint64_t unit, uint32_t decimals, const wchar_t* suffix,
                         TextBuffer& textBuffer) {
  if (decimals > 6) decimals = 6;
  uint64_t scale = 1;
  for (uint32_t i = 0; i < decimals; ++i) scale *= 10;
  const uint64_t quantum = unit / scale;
  const uint64_t count = value / quantum + ((value % quantum) >= quantum - quantum / 2 ? 1 : 0);
  // Digits from the back: decimals, the point, then the whole part.
  wchar_t digits[48];
  int32_t length = 0;
  uint64_t fraction = count % scale;
  for (uint32_t i = 0; i < decimals; ++i, fraction /= 10) digits[length++] = static_cast<wchar_t>(L'0' + fraction % 10);
  if (decimals > 0) digits[length++] = L'.';
  uint64_t whole = count / scale;
  do {
    digits[length++] = static_cast<wchar_t>(L'0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  int32_t out = 0;
  while (length > 0) textBuffer[out++] = digits[--length];
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
