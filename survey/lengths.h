// The survey's block lengths.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint64_t kSurveyFirstLength = 2048;
constexpr uint64_t kSurveyLengthGranule = 128;

// Geometric lengths from 2 KiB up to maxSize: pointsPerDoubling of them per
// doubling, each rounded to the nearest multiple of 128 bytes, without
// duplicates, ending with maxSize rounded down to 128 bytes. Empty when
// maxSize is below 2 KiB or pointsPerDoubling is 0.
std::vector<uint64_t> SurveyLengths(uint64_t maxSize, uint32_t pointsPerDoubling);
