// Exact unsigned arithmetic for rates, times and their texts: products of
// byte counts, calls and clock rates pass 64 bits long before the quotient
// does, and the 32-bit builds have no 128-bit integer type.
#pragma once
#include <cstdint>

// The 128-bit product a * b as two halves.
void MultiplyWide(uint64_t a, uint64_t b, uint64_t* high, uint64_t* low);
// (a * b) / divisor, truncated, with the product formed in 128 bits; the
// largest uint64_t when the quotient does not fit or divisor is 0.
uint64_t MulDivWide(uint64_t a, uint64_t b, uint64_t divisor);
