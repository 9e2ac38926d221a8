// Sizes, rates, clocks and latencies as text, from integers, with one
// rounding rule for every decimal: to the nearest, halves up. The survey's
// table, CSV, JSON, messages and picture all write their numbers with these.
#pragma once
#include <cstdint>
#include <string>

// numerator / denominator with `decimals` decimals (at most 9), rounded to
// the nearest, exact in 128-bit intermediate products: DecimalText(2, 3, 2)
// is "0.67".
std::string DecimalText(uint64_t numerator, uint64_t denominator, unsigned decimals);
// "112.34 GB/s" (decimal gigabytes per second).
std::string GigabytesPerSecondText(uint64_t bytesPerSecond);
// "28.91 B/cycle"; "? B/cycle" for an unknown clock.
std::string BytesPerCycleText(uint64_t bytesPerSecond, uint64_t coreHz);
// "1.23 ns = 4.00 cycles" from picoseconds and the core clock (ns alone without one).
std::string LatencyText(uint64_t picoseconds, uint64_t coreHz);
// "3.891 GHz"
std::string GigahertzText(uint64_t hertz);
// "48 KiB", "1.5 MiB", "256 MiB", "3 B": the largest binary unit, up to one decimal.
std::string ByteSizeText(uint64_t bytes);
