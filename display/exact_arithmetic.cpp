#include "display/exact_arithmetic.h"

// From four 32-bit partial products.
void MultiplyWide(uint64_t a, uint64_t b, uint64_t* high, uint64_t* low) {
  const uint64_t aLow = a & 0xFFFFFFFFu, aHigh = a >> 32;
  const uint64_t bLow = b & 0xFFFFFFFFu, bHigh = b >> 32;
  const uint64_t lowLow = aLow * bLow, lowHigh = aLow * bHigh, highLow = aHigh * bLow, highHigh = aHigh * bHigh;
  const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xFFFFFFFFu) + (highLow & 0xFFFFFFFFu);
  *high = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
  *low = (middle << 32) | (lowLow & 0xFFFFFFFFu);
}

uint64_t MulDivWide(uint64_t a, uint64_t b, uint64_t divisor) {
  if (divisor == 0) return UINT64_MAX;
  uint64_t high, low;
  MultiplyWide(a, b, &high, &low);
  if (high >= divisor) return UINT64_MAX;
  // Long division, one bit at a time; high stays below divisor throughout.
  uint64_t quotient = 0;
  for (int bit = 0; bit < 64; ++bit) {
    const bool carry = (high >> 63) != 0;
    high = (high << 1) | (low >> 63);
    low <<= 1;
    quotient <<= 1;
    if (carry || high >= divisor) {
      high -= divisor;
      quotient |= 1;
    }
  }
  return quotient;
}
