// What the survey prints and writes: the table a person reads, the JSON for
// programs, the CSV of every kernel's curve. All from the survey's record.
#pragma once
#include <cstdint>
#include <string>

#include "survey/survey.h"

// Facts of the machine that the record does not hold.
struct SurveyFacts {
  std::string vendor;
  std::string topologySource;      // which CPUID leaf gave the caches
  std::string cacheLines;          // one line per cache, for the text report
  std::string topologyWarning;     // the OS disagreeing with the processor, or ""
  bool maxSizeCapped = false;
  uint64_t availableMemory = 0;
  uint64_t elapsedMilliseconds = 0;
};

// "112.34 GB/s" (decimal gigabytes) and "28.91 B/cycle", from integers.
std::string FormatGigabytesPerSecond(uint64_t bytesPerSecond);
std::string FormatBytesPerCycle(uint64_t bytesPerSecond, uint64_t coreHz);
// "1.23 ns = 4.00 cycles" from picoseconds and the core clock.
std::string FormatLatency(uint64_t picoseconds, uint64_t coreHz);
// "3.891 GHz"
std::string FormatGigahertz(uint64_t hertz);

// The level a length lies in: the first cache it fits into, else "memory".
std::string LevelOfLength(const SurveyRecord& record, uint64_t length);

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyCsv(const SurveyRecord& record);
