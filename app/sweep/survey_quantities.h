// The survey's numbers for its table, CSV, JSON and messages: the texts of
// sizes, rates, clocks and latencies (display/quantity_text.h), the spread of
// a figure over the passes (survey/levels.h), and how copies count their bytes.
#pragma once
#include <cstdint>
#include <string>

#include "display/quantity_text.h"
#include "survey/levels.h"

// How copy rates count their bytes, for every output that shows one.
extern const char* const copyAccounting;
