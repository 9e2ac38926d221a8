// The comparison's reports: the text table and the JSON.
#pragma once
#include <string>
#include <vector>

#include "app/sweep/compare_record.h"

// The head naming each file, then per thread count each level and group:
// every file's figure in GB/s with its spread, its ratio to the first and a
// mark where the difference is real.
std::string FormatCompareText(const std::vector<CompareFile>& files, const Comparison& comparison);
// The same as one JSON object.
std::string FormatCompareJson(const std::vector<CompareFile>& files, const Comparison& comparison);
// "1, 2, 4": a file's thread counts.
std::string ThreadCountsText(const CompareFile& file);
