// Drives a running Lorvanta.exe from outside, as a user would through its
// menu, and checks the screenshots the program writes into the working
// directory (shared with this driver). Runs under Wine beside the program.
//
// usage: e2e_driver main|stress
//   main    layout, curves, flat curves after a change, cache marks, file
//           numbering, consecutive sweeps, then WM_CLOSE
//   stress  200 block-step and test-area changes while sweeps run, then
//           WM_CLOSE
// Exit code: the number of failed checks (0 when all passed); 100 when the
// window never appeared or stopped answering.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/window.h"
#include "measure/state.h"
#include "probe/processor.h"

namespace {

int failures = 0;

void Check(bool condition, const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::printf("%s: %s\n", condition ? "ok  " : "FAIL", text);
  std::fflush(stdout);
  if (!condition) ++failures;
}

[[noreturn]] void Abort(const char* why) {
  std::printf("FAIL: %s\n", why);
  std::fflush(stdout);
  std::exit(100);
}

// The program's window and process ----------------------------------------------

HWND window = nullptr;
DWORD processId = 0;

void FindProgramWindow() {
  for (int attempt = 0; attempt < 600 && window == nullptr; ++attempt) {
    window = FindWindowW(MAKEINTATOM(32770), L"Lorvanta");
    if (window == nullptr) Sleep(100);
  }
  if (window == nullptr) Abort("no dialog window with the caption \"Lorvanta\" within 60 s");
  GetWindowThreadProcessId(window, &processId);
}

// A menu command as the menu sends it; fails when the window does not answer.
void Command(uint32_t id) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_COMMAND, id, 0, SMTO_NORMAL, 30000, &result)) {
    std::printf("command %u: no answer within 30 s\n", id);
    Abort("the window stopped answering");
  }
}

// Threads of the program that did not exist when counting began: the sweep
// threads (one per sweep, at least 100 ms each for the clock measurement).
struct SweepCounter {
  std::set<DWORD> baseline;
  std::set<DWORD> present;
  int started = 0;

  std::set<DWORD> Threads() const {
    std::set<DWORD> threads;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return threads;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID == processId) threads.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return threads;
  }
  void Begin() {
    baseline = Threads();
    present.clear();
    started = 0;
  }
  // A thread counts when it appears; an ID that comes back after being gone
  // is a new thread.
  void Poll() {
    std::set<DWORD> now;
    for (DWORD id : Threads())
      if (baseline.count(id) == 0) now.insert(id);
    for (DWORD id : now)
      if (present.count(id) == 0) ++started;
    present = now;
  }
  void Watch(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
      Poll();
      Sleep(10);
    }
  }
};

// Screenshots ---------------------------------------------------------------

struct Colour {
  int r, g, b;
  bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};
Colour FromColorRef(COLORREF c) { return Colour{GetRValue(c), GetGValue(c), GetBValue(c)}; }

const Colour kBlack{0, 0, 0};
const Colour kRead{255, 200, 0};
const Colour kWrite{255, 0, 0};
const Colour kCopy{0, 200, 255};

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> data;  // the file's pixel rows, bottom row first
  int rowSize = 0;
  Colour At(int x, int y) const {
    const uint8_t* p = data.data() + static_cast<size_t>(height - 1 - y) * rowSize + x * 3;
    return Colour{p[2], p[1], p[0]};
  }
};

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }

bool FileExists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ScreenshotName(int n) { return "screenshot-" + std::to_string(n) + ".bmp"; }

// Reads a screenshot and checks its headers against the client size.
Picture Load(const std::string& name, int clientWidth, int clientHeight) {
  Picture picture;
  FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) {
    Check(false, "%s exists", name.c_str());
    return picture;
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(file);
  if (bytes.size() < 54) {
    Check(false, "%s has its 54 header bytes", name.c_str());
    return picture;
  }
  const int width = static_cast<int32_t>(Get32(bytes, 18)), height = static_cast<int32_t>(Get32(bytes, 22));
  const uint32_t rowSize = (width * 24 + 31) / 32 * 4;
  const uint32_t imageSize = rowSize * height;
  const bool headersRight = bytes[0] == 'B' && bytes[1] == 'M' && Get32(bytes, 2) == 54 + imageSize &&
                            Get32(bytes, 6) == 0 && Get32(bytes, 10) == 54 && Get32(bytes, 14) == 40 &&
                            Get16(bytes, 26) == 1 && Get16(bytes, 28) == 24 && Get32(bytes, 30) == 0 &&
                            Get32(bytes, 34) == imageSize && Get32(bytes, 38) == 0 && Get32(bytes, 42) == 0 &&
                            Get32(bytes, 46) == 0 && Get32(bytes, 50) == 0 && bytes.size() == 54 + imageSize;
  Check(headersRight && width == clientWidth && height == clientHeight,
        "%s: 24-bit bottom-up BMP of the client area %dx%d (file %dx%d, %zu bytes)", name.c_str(), clientWidth,
        clientHeight, width, height, bytes.size());
  if (!headersRight) return picture;
  picture.width = width;
  picture.height = height;
  picture.rowSize = static_cast<int>(rowSize);
  picture.data.assign(bytes.begin() + 54, bytes.end());
  return picture;
}

int clientWidth = 0, clientHeight = 0;

// Takes a screenshot with the menu command; it must land in expectedName.
Picture Screenshot(const std::string& expectedName) {
  RECT client;
  GetClientRect(window, &client);
  clientWidth = client.right;
  clientHeight = client.bottom;
  Check(!FileExists(expectedName), "%s does not exist yet", expectedName.c_str());
  Command(IDM_SCREENSHOT);
  return Load(expectedName, clientWidth, clientHeight);
}

// The chart's plot area for the current client size.
struct Plot {
  int left, top, right, bottom;  // the chart rectangle
  int xL, xR, yT, yB;            // the plot inside it
};
Plot PlotFor(const Picture& p) {
  Plot plot;
  plot.left = 5;
  plot.top = 60;
  plot.right = p.width - 5;
  plot.bottom = p.height - 5;
  plot.xL = plot.left + 70;
  plot.xR = plot.right - 5;
  plot.yT = plot.top + 5;
  plot.yB = plot.bottom - 25;
  return plot;
}

// Pixels of a colour inside the plot (between xL and xR) with y in [top, bottom].
int CountInPlot(const Picture& p, const Plot& plot, Colour colour, int top, int bottom) {
  int count = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = plot.xL; x < plot.xR; ++x)
      if (p.At(x, y) == colour) ++count;
  return count;
}

// The layout: the button-face background around and between the two areas,
// their sunken frames exactly on the rectangles, black insides.
void CheckLayout(const Picture& p, const char* name) {
  if (p.width == 0) return;
  const Colour face = FromColorRef(GetSysColor(COLOR_BTNFACE));
  const Colour shadow = FromColorRef(GetSysColor(COLOR_BTNSHADOW));
  const Colour highlight = FromColorRef(GetSysColor(COLOR_BTNHIGHLIGHT));
  const int w = p.width, h = p.height, mid = w / 2;
  bool background = true;
  for (int x = 0; x < w; ++x) {
    for (int y : {0, 4, 55, 57, 59, h - 5, h - 1}) background = background && p.At(x, y) == face;
  }
  for (int y = 0; y < h; ++y) {
    for (int x : {0, 4, w - 5, w - 1}) background = background && p.At(x, y) == face;
  }
  Check(background, "%s: button-face background at the margins and between panel and chart", name);
  Check(p.At(mid, 5) == shadow && p.At(5, 30) == shadow && p.At(mid, 54) == highlight && p.At(w - 6, 30) == highlight,
        "%s: panel frame on (5,5)-(%d,55)", name, w - 5);
  Check(p.At(mid, 60) == shadow && p.At(5, h / 2) == shadow && p.At(mid, h - 6) == highlight &&
            p.At(w - 6, h / 2) == highlight,
        "%s: chart frame on (5,60)-(%d,%d)", name, w - 5, h - 5);
  int panelBlack = 0, panelTotal = 0, chartBlack = 0, chartTotal = 0;
  for (int y = 7; y < 53; ++y)
    for (int x = 7; x < w - 7; ++x, ++panelTotal) panelBlack += p.At(x, y) == kBlack;
  for (int y = 62; y < h - 7; ++y)
    for (int x = 7; x < w - 7; ++x, ++chartTotal) chartBlack += p.At(x, y) == kBlack;
  Check(panelBlack * 10 > panelTotal * 7 && chartBlack * 10 > chartTotal * 7,
        "%s: panel and chart black inside (%d%%, %d%% black)", name, panelBlack * 100 / panelTotal,
        chartBlack * 100 / chartTotal);
}

// Curves: all three above the bottom edge (measured), or all on it (reset).
void CheckCurves(const Picture& p, bool measured, const char* name) {
  if (p.width == 0) return;
  const Plot plot = PlotFor(p);
  const int above[3] = {CountInPlot(p, plot, kRead, plot.yT, plot.yB - 2),
                        CountInPlot(p, plot, kWrite, plot.yT, plot.yB - 2),
                        CountInPlot(p, plot, kCopy, plot.yT, plot.yB - 2)};
  const int onEdge = CountInPlot(p, plot, kCopy, plot.yB, plot.yB);
  if (measured) {
    Check(above[0] > 20 && above[1] > 20 && above[2] > 20,
          "%s: read, write and copy curves above the bottom edge (%d, %d, %d pixels)", name, above[0], above[1],
          above[2]);
  } else {
    Check(above[0] == 0 && above[1] == 0 && above[2] == 0 && onEdge > (plot.xR - plot.xL) / 2,
          "%s: flat curves on the bottom edge y=%d (%d copy pixels there; %d, %d, %d above)", name, plot.yB,
          onEdge, above[0], above[1], above[2]);
  }
}

// Red pixels in column x of the plot, and the longest red run there.
void RedColumn(const Picture& p, const Plot& plot, int x, int* count, int* longestRun) {
  *count = 0;
  *longestRun = 0;
  int run = 0;
  for (int y = plot.yT; y < plot.yB; ++y) {
    // The write curve shares the marks' red; where it crosses the column it is
    // red beside the column too, and those rows do not count.
    if (p.At(x, y) == kWrite && !(p.At(x - 1, y) == kWrite) && !(p.At(x + 1, y) == kWrite)) {
      ++*count;
      if (++run > *longestRun) *longestRun = run;
    } else {
      run = 0;
    }
  }
}

// Waits until a screenshot shows three measured curves, at most timeout ms.
Picture WaitForCurves(int* nextNumber, DWORD timeout, const char* what) {
  const DWORD start = GetTickCount();
  Picture picture;
  for (;;) {
    Sleep(1500);
    picture = Screenshot(ScreenshotName((*nextNumber)++));
    if (picture.width == 0) return picture;
    const Plot plot = PlotFor(picture);
    if ((CountInPlot(picture, plot, kRead, plot.yT, plot.yB - 2) > 20 &&
         CountInPlot(picture, plot, kWrite, plot.yT, plot.yB - 2) > 20 &&
         CountInPlot(picture, plot, kCopy, plot.yT, plot.yB - 2) > 20) ||
        GetTickCount() - start > timeout)
      break;
  }
  CheckCurves(picture, true, what);
  return picture;
}

void Close() {
  PostMessageW(window, WM_CLOSE, 0, 0);
  for (int i = 0; i < 300 && IsWindow(window); ++i) Sleep(100);
  Check(!IsWindow(window), "the window is gone within 30 s of WM_CLOSE");
}

int MainScenario() {
  FindProgramWindow();
  int next = 0;

  Picture first = Screenshot(ScreenshotName(next++));
  CheckLayout(first, "screenshot-0");

  // Smallest sweeps: 16 KB steps over 1 MB, fast mode.
  Command(IDM_BLOCK_STEP_16KB);
  Command(IDM_TEST_AREA_1MB);
  Command(IDM_FAST_MEASUREMENT);
  CheckCurves(Screenshot(ScreenshotName(next++)), false, "right after the test-area change");
  Picture measured = WaitForCurves(&next, 20000, "after the next sweep");
  CheckLayout(measured, "with curves");

  // Cache marks: dotted red lines at the two cache sizes.
  ProbeProcessor();  // the same cache sizes the program found on this machine
  const Plot plot = PlotFor(measured);
  const uint64_t area = 0x100000 - 2048, width = plot.xR - plot.xL;
  const int x1 = plot.xL + static_cast<int>(measurementState.l1CacheSize * width / area);
  const int x2 = plot.xL + static_cast<int>(measurementState.l2CacheSize * width / area);
  Command(IDM_CACHE_REGIONS);
  Picture marks = Screenshot(ScreenshotName(next++));
  if (marks.width != 0) {
    int before, beforeRun, count, run;
    RedColumn(measured, plot, x1, &before, &beforeRun);
    RedColumn(marks, plot, x1, &count, &run);
    const int height = plot.yB - plot.yT;
    Check(count > height / 3 && count < height * 2 / 3 + 4 && run <= 4 && before < height / 6,
          "L1 mark (%u KiB) at x=%d: dotted red, %d of %d pixels, longest run %d (without marks %d)",
          measurementState.l1CacheSize / 1024, x1, count, height, run, before);
    if (x2 < plot.xR) {
      RedColumn(marks, plot, x2, &count, &run);
      Check(count > height / 3 && run <= 4, "L2 mark (%u KiB) at x=%d: dotted red, %d pixels, longest run %d",
            measurementState.l2CacheSize / 1024, x2, count, run);
    } else {
      std::printf("note: L2 mark (%u KiB) lies right of the 1 MB plot (x=%d > %d)\n",
                  measurementState.l2CacheSize / 1024, x2, plot.xR);
    }
  }
  Command(IDM_CACHE_REGIONS);

  // File numbers: a gap left by a removed file is filled first.
  Check(FileExists(ScreenshotName(0)) && FileExists(ScreenshotName(1)) && FileExists(ScreenshotName(2)),
        "screenshot-0, -1 and -2 exist");
  DeleteFileA(ScreenshotName(1).c_str());
  Screenshot(ScreenshotName(1));
  Check(!FileExists(ScreenshotName(next)), "the next free number after the refilled gap is still %d", next);

  // Consecutive sweeps: every one has to be noticed by the window before the
  // next can start, so a lost notice would stop them for good.
  SweepCounter counter;
  counter.Begin();
  counter.Watch(30000);
  std::printf("sweeps started in 30 s without any command: %d\n", counter.started);
  Check(counter.started >= 20, "sweeps keep coming: %d in 30 s (at least 20 expected)", counter.started);
  // The same while the window repaints as fast as it can ("Sofort"), so that
  // the completion notices meet a busy window.
  Command(IDM_REFRESH_NOW);
  counter.Begin();
  counter.Watch(30000);
  std::printf("sweeps started in 30 s while repainting continuously: %d\n", counter.started);
  Check(counter.started >= 20, "sweeps keep coming under continuous repaints: %d in 30 s (at least 20 expected)",
        counter.started);
  Command(IDM_REFRESH_1S + 1);  // 2 s

  // A change of test area resets the curves; the next sweeps draw them again.
  Command(IDM_TEST_AREA_1MB + 1);  // 2 MB
  CheckCurves(Screenshot(ScreenshotName(next++)), false, "right after choosing 2 MB");
  WaitForCurves(&next, 30000, "after the sweeps over 2 MB");

  Close();
  return failures;
}

int StressScenario() {
  FindProgramWindow();
  Command(IDM_FAST_MEASUREMENT);
  SweepCounter counter;
  counter.Begin();
  // Changes at uneven intervals, so that they meet sweeps in every phase:
  // starting, measuring the clock, in the middle of the blocks.
  uint32_t random = 12345;
  for (int change = 0; change < 200; ++change) {
    random = random * 1103515245u + 12345u;
    const uint32_t pick = random >> 16;
    if (change % 2 == 0) {
      Command(IDM_BLOCK_STEP_1KB + pick % 5);
    } else {
      Command(IDM_TEST_AREA_1MB + pick % 4);
    }
    counter.Watch(pick % 120);
  }
  std::printf("sweep threads seen during the 200 changes: %d\n", counter.started);
  Check(counter.started >= 5, "sweeps ran while the settings changed (%d seen)", counter.started);
  // The window still works: a small setting, then curves again.
  Command(IDM_BLOCK_STEP_16KB);
  Command(IDM_TEST_AREA_1MB);
  int next = 0;
  WaitForCurves(&next, 20000, "after the stress");
  Close();
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "main") return MainScenario();
  if (scenario == "stress") return StressScenario();
  std::fprintf(stderr, "usage: e2e_driver main|stress\n");
  return 2;
}
