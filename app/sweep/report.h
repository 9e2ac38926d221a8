// What the headless tool prints and writes: the summary a person reads, the
// same figures as JSON, and the curves as CSV. All from the measurement state.
#pragma once
#include <cstdint>
#include <string>

struct ReportFacts {
  std::string vendor;
  uint32_t sweeps;
  uint64_t lastSweepMilliseconds;
};

// Processor facts, the clock line and the nine figures formatted as the panel
// formats them, an empty memory figure spelled out, and the sweep's duration.
std::string FormatSummary(const ReportFacts& facts);
std::string FormatJson(const ReportFacts& facts);
// Header and one row per block: block length and the three rates in bytes/s.
std::string FormatCsv();
// "12.345 s" from milliseconds, in integer arithmetic.
std::string FormatSeconds(uint64_t milliseconds);
