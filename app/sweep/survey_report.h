// What the survey prints and writes: the table a person reads, the JSON for
// programs, the CSV of every kernel's curve. All from the survey's record.
#pragma once
#include <cstdint>
#include <string>

#include "survey/survey.h"

// Facts of the run that the record does not hold.
struct SurveyFacts {
  std::string transparentHugePages;  // the system's mode ("always", "madvise", "never"), "" where unknown
  bool maxSizeCapped = false;
  uint64_t availableMemory = 0;
  uint64_t elapsedMilliseconds = 0;
};

// How copy rates count their bytes, for every output that shows one.
extern const char* const copyAccounting;

// "112.34 GB/s" (decimal gigabytes) and "28.91 B/cycle", from integers.
std::string FormatGigabytesPerSecond(uint64_t bytesPerSecond);
std::string FormatBytesPerCycle(uint64_t bytesPerSecond, uint64_t coreHz);
// The spread of a figure over the passes, (highest - lowest) / highest, in
// whole percent, rounded; a figure whose spread passes 10% is unstable.
uint32_t SpreadPercent(const LevelFigure& figure);
const uint32_t unstableSpreadPercent = 10;
bool FigureUnstable(const LevelFigure& figure);
// "1.23 ns = 4.00 cycles" from picoseconds and the core clock.
std::string FormatLatency(uint64_t picoseconds, uint64_t coreHz);
// "3.891 GHz"
std::string FormatGigahertz(uint64_t hertz);

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyCsv(const SurveyRecord& record);
