// Command line of the headless sweep tool. The settings mirror the menu's.
#pragma once
#include <cstdint>
#include <string>

#include "display/layout.h"

// The picture's default size is the main window's client area.
constexpr int32_t kDefaultPictureWidth = kWindowClientWidth;
constexpr int32_t kDefaultPictureHeight = kWindowClientHeight;
// Largest picture side accepted by --size.
constexpr int32_t kMaxPictureSide = 8192;

struct SweepToolOptions {
  uint32_t blockStep = 1024;         // bytes
  uint64_t testAreaSize = 2097152;   // bytes
  bool fast = false;                 // 2 passes per test instead of 10
  bool powerDefeat = true;           // keep one processor busy meanwhile
  uint32_t sweeps = 1;
  std::string csvPath;               // empty: no CSV
  bool json = false;
  bool picture = false;              // write the window's picture as a BMP after the sweeps
  std::string picturePath;           // empty: the next free screenshot-N.bmp
  int32_t pictureWidth = kDefaultPictureWidth;
  int32_t pictureHeight = kDefaultPictureHeight;
  bool help = false;
  bool version = false;              // print the version and exit
};

// Parses argv into options. On bad input returns false with one line in error.
bool ParseSweepToolOptions(int argc, const char* const* argv, SweepToolOptions* options, std::string* error);

extern const char* const sweepToolUsage;

// "WxH" with both sides from 1 to kMaxPictureSide.
bool ParsePictureSize(const char* text, int32_t* width, int32_t* height);
