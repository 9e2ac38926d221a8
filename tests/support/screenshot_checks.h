// Checks on the screenshots the desktop programs write, shared by their
// end-to-end drivers: the BMP file, the layout of panel and chart, the three
// curves and the dotted cache marks. Every check prints "ok  : ..." or
// "FAIL: ..." and counts its failures in checkFailures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

extern int checkFailures;
bool Check(bool condition, const char* format, ...);

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};
// A colour held as 0x00BBGGRR (a COLORREF, or the drawing code's Colour).
inline Rgb RgbOf(uint32_t c) { return Rgb{int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255)}; }
struct ButtonColours {
  Rgb face, shadow, highlight;
};

struct Picture {
  int width = 0, height = 0, rowSize = 0;
  std::vector<uint8_t> rows;  // the file's pixel rows, bottom row first
  Rgb At(int x, int y) const {
    const uint8_t* p = rows.data() + static_cast<size_t>(height - 1 - y) * rowSize + x * 3;
    return Rgb{p[2], p[1], p[0]};
  }
};

// Reads a 24-bit bottom-up BMP and, when report is set, checks its headers.
// An unreadable or malformed file gives a picture of width 0.
Picture LoadScreenshot(const std::string& name, bool report);

// Read, write and copy each more than 20 pixels above the plot's bottom edge.
bool CurvesUp(const Picture& p);
// The three curves up (measured), or all flat on the bottom edge (reset).
void CheckCurves(const Picture& p, bool measured, const char* name);
// Button face around and between panel (5,5)-(W-5,55) and chart
// (5,60)-(W-5,H-5), their sunken frames exactly there, black insides.
void CheckLayout(const Picture& p, const char* name, const ButtonColours& colours);
// Dotted red marks at the two cache sizes in withMarks, absent in without;
// a mark right of the plot is only noted.
void CheckCacheMarks(const Picture& without, const Picture& withMarks, uint64_t testArea, uint32_t l1Size,
                     uint32_t l2Size);
