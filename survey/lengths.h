// The survey's block lengths and the sizes its command line accepts.
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

// "64MiB", "64 M", "512KiB", "4096", "1G": a whole number with an optional
// unit B, KiB/K, MiB/M, GiB/G (binary, any letter case). False, with one line
// in error, for anything else or a size beyond 2^62.
bool ParseByteSize(const std::string& text, uint64_t* bytes, std::string* error);

// "48 KiB", "1.5 MiB", "256 MiB", "3 B": the largest binary unit, up to one
// decimal, from integers.
std::string FormatByteSize(uint64_t bytes);
