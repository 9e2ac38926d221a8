// The survey's numbers as text, for its table, CSV, JSON and messages: sizes,
// rates, clocks and latencies from integers, every decimal rounded to the
// nearest (halves up); the spread of a figure over the passes; and how copies
// count their bytes.
#pragma once
#include <cstdint>
#include <string>

#include "survey/levels.h"

// numerator / denominator with `decimals` decimals, rounded to the nearest,
// exact in 128-bit intermediate products: DecimalText(2, 3, 2) is "0.67".
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

// The spread of a figure over the passes, (highest - lowest) / highest, in
// whole percent, rounded; a figure whose spread passes 10% is unstable.
uint32_t SpreadPercent(const LevelFigure& figure);
const uint32_t unstableSpreadPercent = 10;
bool FigureUnstable(const LevelFigure& figure);

// How copy rates count their bytes, for every output that shows one.
extern const char* const copyAccounting;
