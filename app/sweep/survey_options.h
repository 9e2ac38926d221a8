// Command line of the survey (lorvanta-sweep --survey), parsed with CLI11.
#pragma once
#include <cstdint>
#include <string>

#include "app/sweep/options.h"
#include "app/sweep/picture_file.h"
#include "survey/survey.h"

struct SurveyToolOptions {
  SurveySettings settings;       // maxSize 0: the default, chosen from the caches
  std::string isaWord = "all";
  std::string threadsText = "1";  // N, all, or a list such as 1,2,4,all
  bool noBind = false;
  std::string csvPath;           // empty: no CSV
  bool json = false;
  bool picture = false;
  std::string picturePath;       // empty: the next free survey-N.png
  PictureFormat pictureFormat = PictureFormat::Png;  // named by picturePath's extension
  int32_t pictureWidth = 1200;
  int32_t pictureHeight = 800;
  std::string label;              // --label: any text naming the run, stored as given
  bool labelGiven = false;
  bool help = false;
  bool version = false;
};

// "64MiB", "64 M", "512KiB", "4096", "1G": a whole number with an optional
// unit B, KiB/K, MiB/M, GiB/G (binary, any letter case). False, with one line
// in error, for anything else or a size beyond 2^62.
bool ParseByteSize(const std::string& text, uint64_t* bytes, std::string* error);

// --min-time's "50us", "2ms", "1s", "750ns", or a plain number of
// microseconds; from 1 ns to 10 s. False, with one line in error, otherwise.
bool ParseDuration(const std::string& text, uint64_t* nanoseconds, std::string* error);

// Word of --isa ("mmx", "sse", "sse2", "avx", "avx2", "avx512", "rep", "all")
// to its mask, 0 for an unknown word; and the word of one instruction set.
uint32_t IsaMaskFromWord(const char* word);
const char* IsaName(SurveyIsa isa);

// True when the command line asks for the survey.
bool WantsSurvey(int argc, const char* const* argv);
// Parses argv (which holds --survey) into options. On bad input returns false
// with one line in error; the usage is SurveyUsage().
bool ParseSurveyOptions(int argc, const char* const* argv, SurveyToolOptions* options, std::string* error);
std::string SurveyUsage();
// The largest length of record's settings for the largest of threadCounts,
// with the free memory and whether the default was capped: the asked
// size (named sizeName in the refusal) if every thread's two buffers fit in
// half of the free memory, else false with one line in error; without one,
// the default from the caches, capped to that.
bool FitSurveyMaxSize(const char* sizeName, const std::vector<uint32_t>& threadCounts, SurveyRecord* record,
                      uint64_t* availableMemory, bool* capped, std::string* error);
// The thread counts of --threads ("2", "all", "1,2,all") for a machine of
// available processors: each from 1 to available, "all" being available.
// False, with one line in error, for 0, too many, or an unknown word.
bool ParseThreadCounts(const std::string& text, uint32_t available, std::vector<uint32_t>* counts,
                       std::string* error);
