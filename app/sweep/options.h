// Command line of the headless sweep tool. The settings mirror the menu's.
#pragma once
#include <cstdint>
#include <string>

// The client area of the main window at 96 DPI, the picture's default size:
// the dialog's 456 x 276 dialog units in 8-point MS Shell Dlg (Tahoma), whose
// base units are 6 x 13 pixels, mapped as MapDialogRect does:
// MulDiv(456, 6, 4) x MulDiv(276, 13, 8) = 684 x 449 (448.5 rounded).
constexpr int32_t kDefaultPictureWidth = 684;
constexpr int32_t kDefaultPictureHeight = 449;
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
};

// Parses argv into options. On bad input returns false with one line in error.
bool ParseSweepToolOptions(int argc, const char* const* argv, SweepToolOptions* options, std::string* error);

extern const char* const sweepToolUsage;
