#include "tests/support/screenshot_checks.h"

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <iterator>

int checkFailures = 0;

bool Check(bool condition, const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::printf("%s: %s\n", condition ? "ok  " : "FAIL", text);
  std::fflush(stdout);
  checkFailures += !condition;
  return condition;
}

namespace {

const Rgb kBlack{0, 0, 0}, kRead{255, 200, 0}, kWrite{255, 0, 0}, kCopy{0, 200, 255};

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

// The plot inside the chart rectangle (5, 60)-(W-5, H-5).
struct Plot {
  int xL, xR, yT, yB;
};
Plot PlotFor(const Picture& p) { return Plot{5 + 70, p.width - 5 - 5, 60 + 5, p.height - 5 - 25}; }

int CountInPlot(const Picture& p, Rgb colour, int top, int bottom) {
  const Plot plot = PlotFor(p);
  int count = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = plot.xL; x < plot.xR; ++x) count += p.At(x, y) == colour;
  return count;
}

// Read, write and copy pixels at least two pixels above the bottom edge.
std::vector<int> CurvesAbove(const Picture& p) {
  const Plot plot = PlotFor(p);
  std::vector<int> counts;
  for (Rgb colour : {kRead, kWrite, kCopy}) counts.push_back(CountInPlot(p, colour, plot.yT, plot.yB - 2));
  return counts;
}

// Red pixels in column x of the plot and how many short red runs (1 to 4
// pixels, the dots) there are. Rows where the write curve, also red, crosses
// the column are red beside it too and do not count; where the curve drops
// steeply inside the column (a cache edge on the mark) it leaves one long
// run, which is no dot.
void RedColumn(const Picture& p, const Plot& plot, int x, int* count, int* dots) {
  *count = *dots = 0;
  int run = 0;
  for (int y = plot.yT; y <= plot.yB; ++y) {
    if (y < plot.yB && p.At(x, y) == kWrite && p.At(x - 1, y) != kWrite && p.At(x + 1, y) != kWrite) {
      ++*count;
      ++run;
    } else {
      *dots += run >= 1 && run <= 4;
      run = 0;
    }
  }
}

}  // namespace

Picture LoadScreenshot(const std::string& name, bool report) {
  Picture picture;
  std::ifstream file(name, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (bytes.size() < 54) {
    if (report) Check(false, "%s: a file with its 54 header bytes (%zu bytes)", name.c_str(), bytes.size());
    return picture;
  }
  const int width = static_cast<int32_t>(Get32(bytes, 18)), height = static_cast<int32_t>(Get32(bytes, 22));
  const uint64_t rowSize = (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
  const uint64_t imageSize = rowSize * static_cast<uint64_t>(height);
  const bool headersRight = width > 0 && height > 0 && bytes[0] == 'B' && bytes[1] == 'M' &&
                            Get32(bytes, 2) == 54 + imageSize && Get32(bytes, 6) == 0 && Get32(bytes, 10) == 54 &&
                            Get32(bytes, 14) == 40 && Get16(bytes, 26) == 1 && Get16(bytes, 28) == 24 &&
                            Get32(bytes, 30) == 0 && Get32(bytes, 34) == imageSize && Get32(bytes, 38) == 0 &&
                            Get32(bytes, 42) == 0 && Get32(bytes, 46) == 0 && Get32(bytes, 50) == 0 &&
                            bytes.size() == 54 + imageSize;
  if (report) {
    Check(headersRight, "%s: 24-bit bottom-up BMP, %dx%d, %zu bytes, headers consistent", name.c_str(), width,
          height, bytes.size());
  }
  if (!headersRight) return picture;
  picture.width = width;
  picture.height = height;
  picture.rowSize = static_cast<int>(rowSize);
  picture.rows.assign(bytes.begin() + 54, bytes.end());
  return picture;
}

bool CurvesUp(const Picture& p) {
  const std::vector<int> above = CurvesAbove(p);
  return above[0] > 20 && above[1] > 20 && above[2] > 20;
}

void CheckCurves(const Picture& p, bool measured, const char* name) {
  if (p.width == 0) return;
  const Plot plot = PlotFor(p);
  const int onEdge = CountInPlot(p, kCopy, plot.yB, plot.yB);
  const std::vector<int> a = CurvesAbove(p);
  Check(measured ? CurvesUp(p) : a[0] + a[1] + a[2] == 0 && onEdge > (plot.xR - plot.xL) / 2,
        "%s: curves %s (%d copy pixels on the bottom edge; %d, %d, %d above)", name, measured ? "up" : "flat", onEdge,
        a[0], a[1], a[2]);
}

void CheckLayout(const Picture& p, const char* name, const ButtonColours& c) {
  if (p.width == 0) return;
  const int w = p.width, h = p.height, mid = w / 2;
  if (w < 40 || h < 100) return (void)Check(false, "%s: big enough for the layout checks", name);
  bool background = true;
  for (int x = 0; x < w; ++x)
    for (int y : {0, 4, 55, 57, 59, h - 5, h - 1}) background = background && p.At(x, y) == c.face;
  for (int y = 0; y < h; ++y)
    for (int x : {0, 4, w - 5, w - 1}) background = background && p.At(x, y) == c.face;
  Check(background, "%s: button-face background at the margins and between panel and chart", name);
  Check(p.At(mid, 5) == c.shadow && p.At(5, 30) == c.shadow && p.At(mid, 54) == c.highlight &&
            p.At(w - 6, 30) == c.highlight && p.At(mid, 60) == c.shadow && p.At(5, h / 2) == c.shadow &&
            p.At(mid, h - 6) == c.highlight && p.At(w - 6, h / 2) == c.highlight,
        "%s: sunken frames on panel (5,5)-(%d,55) and chart (5,60)-(%d,%d)", name, w - 5, w - 5, h - 5);
  int black[2] = {0, 0}, total[2] = {0, 0};  // panel, chart
  for (int y = 7; y < h - 7; ++y)
    for (int x = 7; x < w - 7 && (y < 53 || y >= 62); ++x, ++total[y >= 62]) black[y >= 62] += p.At(x, y) == kBlack;
  Check(black[0] * 10 > total[0] * 7 && black[1] * 10 > total[1] * 7, "%s: panel and chart black inside (%d%%, %d%%)",
        name, black[0] * 100 / total[0], black[1] * 100 / total[1]);
}

void CheckCacheMarks(const Picture& without, const Picture& withMarks, uint64_t testArea, uint32_t l1Size,
                     uint32_t l2Size) {
  if (without.width == 0 || withMarks.width == 0) return;
  const Plot plot = PlotFor(withMarks);
  const uint64_t area = testArea - 2048, width = plot.xR - plot.xL;
  const int height = plot.yB - plot.yT;
  const uint32_t sizes[2] = {l1Size, l2Size};
  for (int i = 0; i < 2; ++i) {
    const int x = plot.xL + static_cast<int>(sizes[i] * width / area);
    if (x >= plot.xR) {
      std::printf("note: L%d mark (%u KiB) lies right of the plot (x=%d >= %d)\n", i + 1, sizes[i] / 1024, x, plot.xR);
      continue;
    }
    int count, dots, plain, plainDots;
    RedColumn(withMarks, plot, x, &count, &dots);
    RedColumn(without, plot, x, &plain, &plainDots);
    // A dotted line of 3 on, 3 off: about height / 6 dots.
    Check(count > height / 3 && count < height * 2 / 3 + 4 && dots >= height / 8 && plain < height / 6,
          "L%d mark (%u KiB) at x=%d: dotted red, %d of %d pixels in %d dots (without marks %d)", i + 1,
          sizes[i] / 1024, x, count, height, dots, plain);
  }
}
