// The survey's numbers for its table, CSV, JSON and messages: the texts of
// sizes, rates, clocks and latencies (display/quantity_text.h), the spread of
// a figure over the passes, and how copies count their bytes.
#pragma once
#include <cstdint>
#include <string>

#include "display/quantity_text.h"
#include "survey/levels.h"

// The spread of a figure over the passes, (highest - lowest) / highest, in
// whole percent, rounded; a figure whose spread passes 10% is unstable.
uint32_t SpreadPercent(const LevelFigure& figure);
const uint32_t unstableSpreadPercent = 10;
bool FigureUnstable(const LevelFigure& figure);

// How copy rates count their bytes, for every output that shows one.
extern const char* const copyAccounting;
