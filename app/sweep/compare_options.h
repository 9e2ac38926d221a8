// Command line of the comparison of saved surveys (lorvanta-sweep --compare),
// parsed with CLI11.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/sweep/picture_file.h"

struct CompareToolOptions {
  std::vector<std::string> files;  // two or more saved survey JSON files
  bool json = false;
  bool picture = false;
  std::string picturePath;  // empty: the next free compare-N.png
  PictureFormat pictureFormat = PictureFormat::Png;
  int32_t pictureWidth = 1200;
  int32_t pictureHeight = 900;
  bool help = false;
};

// True when the command line asks for the comparison.
bool WantsCompare(int argc, const char* const* argv);
// Parses argv (which holds --compare) into options. On bad input returns
// false with one line in error; the usage is CompareUsage().
bool ParseCompareOptions(int argc, const char* const* argv, CompareToolOptions* options, std::string* error);
std::string CompareUsage();
