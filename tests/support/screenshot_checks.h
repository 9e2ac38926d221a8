// Checks on the screenshots the programs write, shared by the end-to-end
// drivers of the Windows and the Linux program: the BMP file, the layout of
// panel and chart, the three curves and the cache marks. Every check prints
// "ok  : ..." or "FAIL: ..." and counts its failures in checkFailures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

extern int checkFailures;
void Check(bool condition, const char* format, ...);

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};
// A colour held as 0x00BBGGRR (a COLORREF, or the drawing code's Colour).
inline Rgb RgbOf(uint32_t c) { return Rgb{int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255)}; }

inline const Rgb kBlack{0, 0, 0}, kRead{255, 200, 0}, kWrite{255, 0, 0}, kCopy{0, 200, 255};

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

// The plot inside the chart rectangle (5, 60)-(W-5, H-5).
struct Plot {
  int xL, xR, yT, yB;
};
Plot PlotFor(const Picture& p);

// True when read, write and copy each have more than 20 pixels at least two
// pixels above the plot's bottom edge.
bool CurvesUp(const Picture& p);
// The three curves above the bottom edge (measured), or all on it (reset).
void CheckCurves(const Picture& p, bool measured, const char* name);
// Button face around and between the two areas, their sunken frames exactly
// on the panel (5,5)-(W-5,55) and the chart (5,60)-(W-5,H-5), black insides.
void CheckLayout(const Picture& p, const char* name, Rgb face, Rgb shadow, Rgb highlight);
// Dotted red marks at the two cache sizes in withMarks, absent in without;
// a mark right of the plot is only noted.
void CheckCacheMarks(const Picture& without, const Picture& withMarks, uint64_t testArea, uint32_t l1Size,
                     uint32_t l2Size);
