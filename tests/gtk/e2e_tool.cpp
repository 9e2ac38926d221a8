// Checks for the GTK program's end-to-end test (gtk_e2e.sh): reads the
// screenshots the program writes, watches its sweep threads and asks its
// window to close as a window manager's close button does.
//
// usage:
//   e2e_tool layout FILE [WIDTH HEIGHT]   BMP headers, size, background, frames, black insides
//   e2e_tool curves FILE measured|flat    the three curves above the bottom edge, or all on it
//   e2e_tool has-curves FILE              exit 0 when the three curves are up, 1 otherwise; silent
//   e2e_tool marks WITHOUT WITH AREA      dotted red cache marks in WITH (test area AREA bytes),
//                                         absent in WITHOUT
//   e2e_tool sweeps PID MILLISECONDS      counts the sweep threads PID starts meanwhile
//                                         (SIGTERM ends the count early)
//   e2e_tool close WINDOW                 sends WM_DELETE_WINDOW to the X window WINDOW
// Every check prints "ok  : ..." or "FAIL: ..."; the exit code is the number
// of failed checks (2 for a usage error).
#include <X11/Xlib.h>
#include <dirent.h>

#include <csignal>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "measure/state.h"
#include "platform/cairo/cairo_canvas.h"
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

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
Rgb FromColour(Colour c) { return Rgb{static_cast<int>(c & 255), static_cast<int>((c >> 8) & 255), static_cast<int>((c >> 16) & 255)}; }

const Rgb kBlack{0, 0, 0};
const Rgb kRead{255, 200, 0};
const Rgb kWrite{255, 0, 0};
const Rgb kCopy{0, 200, 255};

// Screenshots -----------------------------------------------------------------

struct Picture {
  int width = 0, height = 0, rowSize = 0;
  std::vector<uint8_t> rows;  // the file's pixel rows, bottom row first
  Rgb At(int x, int y) const {
    const uint8_t* p = rows.data() + static_cast<size_t>(height - 1 - y) * rowSize + x * 3;
    return Rgb{p[2], p[1], p[0]};
  }
};

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

// Reads a screenshot; checks its headers when report is set. An unreadable
// or malformed file gives a picture of width 0.
Picture Load(const char* name, bool report) {
  Picture picture;
  std::vector<uint8_t> bytes;
  if (FILE* file = std::fopen(name, "rb")) {
    uint8_t buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
  }
  if (bytes.size() < 54) {
    if (report) Check(false, "%s: a file with its 54 header bytes (%zu bytes)", name, bytes.size());
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
    Check(headersRight, "%s: 24-bit bottom-up BMP, %dx%d, %zu bytes, headers consistent", name, width, height,
          bytes.size());
  }
  if (!headersRight) return picture;
  picture.width = width;
  picture.height = height;
  picture.rowSize = static_cast<int>(rowSize);
  picture.rows.assign(bytes.begin() + 54, bytes.end());
  return picture;
}

// The plot inside the chart rectangle (5, 60)-(W-5, H-5).
struct Plot {
  int xL, xR, yT, yB;
};
Plot PlotFor(const Picture& p) { return Plot{5 + 70, p.width - 5 - 5, 60 + 5, p.height - 5 - 25}; }

int CountInPlot(const Picture& p, const Plot& plot, Rgb colour, int top, int bottom) {
  int count = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = plot.xL; x < plot.xR; ++x) count += p.At(x, y) == colour;
  return count;
}

// Curve pixels above the bottom edge (at least 2 pixels up), per colour.
void CurvesAbove(const Picture& p, int counts[3]) {
  const Plot plot = PlotFor(p);
  const Rgb colours[3] = {kRead, kWrite, kCopy};
  for (int i = 0; i < 3; ++i) counts[i] = CountInPlot(p, plot, colours[i], plot.yT, plot.yB - 2);
}

bool CurvesUp(const Picture& p) {
  int above[3];
  CurvesAbove(p, above);
  return above[0] > 20 && above[1] > 20 && above[2] > 20;
}

// The layout: button face around and between the two areas, their sunken
// frames exactly on the panel (5,5)-(W-5,55) and the chart (5,60)-(W-5,H-5),
// black insides.
int Layout(const char* name, int expectedWidth, int expectedHeight) {
  const Picture p = Load(name, true);
  if (p.width == 0) return failures;
  if (expectedWidth > 0) {
    Check(p.width == expectedWidth && p.height == expectedHeight, "%s: the client area's size %dx%d (file %dx%d)",
          name, expectedWidth, expectedHeight, p.width, p.height);
  }
  const Rgb face = FromColour(kButtonFaceColour), shadow = FromColour(kButtonShadowColour),
            highlight = FromColour(kButtonHighlightColour);
  const int w = p.width, h = p.height, mid = w / 2;
  if (w < 40 || h < 100) {
    Check(false, "%s: big enough for the layout checks", name);
    return failures;
  }
  bool background = true;
  for (int x = 0; x < w; ++x)
    for (int y : {0, 4, 55, 57, 59, h - 5, h - 1}) background = background && p.At(x, y) == face;
  for (int y = 0; y < h; ++y)
    for (int x : {0, 4, w - 5, w - 1}) background = background && p.At(x, y) == face;
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
  return failures;
}

int Curves(const char* name, bool measured) {
  const Picture p = Load(name, true);
  if (p.width == 0) return failures;
  const Plot plot = PlotFor(p);
  int above[3];
  CurvesAbove(p, above);
  if (measured) {
    Check(CurvesUp(p), "%s: read, write and copy curves above the bottom edge (%d, %d, %d pixels)", name, above[0],
          above[1], above[2]);
  } else {
    const int onEdge = CountInPlot(p, plot, kCopy, plot.yB, plot.yB);
    Check(above[0] == 0 && above[1] == 0 && above[2] == 0 && onEdge > (plot.xR - plot.xL) / 2,
          "%s: flat curves on the bottom edge y=%d (%d copy pixels there; %d, %d, %d above)", name, plot.yB, onEdge,
          above[0], above[1], above[2]);
  }
  return failures;
}

// Red pixels in column x of the plot and the longest red run there. The write
// curve is the marks' red too; where it crosses the column it is red beside
// the column as well, and those rows do not count.
void RedColumn(const Picture& p, const Plot& plot, int x, int* count, int* longestRun) {
  *count = 0;
  *longestRun = 0;
  int run = 0;
  for (int y = plot.yT; y < plot.yB; ++y) {
    if (p.At(x, y) == kWrite && !(p.At(x - 1, y) == kWrite) && !(p.At(x + 1, y) == kWrite)) {
      ++*count;
      if (++run > *longestRun) *longestRun = run;
    } else {
      run = 0;
    }
  }
}

int Marks(const char* without, const char* with, uint64_t testArea) {
  const Picture before = Load(without, true), marks = Load(with, true);
  if (before.width == 0 || marks.width == 0) return failures;
  ProbeProcessor();  // the cache sizes the program found on this machine
  const Plot plot = PlotFor(marks);
  const uint64_t area = testArea - 2048, width = plot.xR - plot.xL;
  const int height = plot.yB - plot.yT;
  const uint32_t sizes[2] = {measurementState.l1CacheSize, measurementState.l2CacheSize};
  const char* names[2] = {"L1", "L2"};
  for (int i = 0; i < 2; ++i) {
    const int x = plot.xL + static_cast<int>(sizes[i] * width / area);
    if (x >= plot.xR) {
      std::printf("note: %s mark (%u KiB) lies right of the plot (x=%d >= %d)\n", names[i], sizes[i] / 1024, x,
                  plot.xR);
      continue;
    }
    int count, run, plain, plainRun;
    RedColumn(marks, plot, x, &count, &run);
    RedColumn(before, plot, x, &plain, &plainRun);
    Check(count > height / 3 && count < height * 2 / 3 + 4 && run <= 4 && plain < height / 6,
          "%s mark (%u KiB) at x=%d: dotted red, %d of %d pixels, longest run %d (without marks %d)", names[i],
          sizes[i] / 1024, x, count, height, run, plain);
  }
  ReleaseTestBuffers();
  return failures;
}

// Sweep threads ---------------------------------------------------------------

// The process's threads that carry its own name: those it starts itself
// (sweeps, power-saving defeat). GLib's helper threads name themselves.
std::set<long> ProgramThreads(long pid, const std::string& programName) {
  std::set<long> threads;
  const std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return threads;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    char comm[64] = {0};
    if (FILE* file = std::fopen((dir + "/" + entry->d_name + "/comm").c_str(), "r")) {
      if (std::fgets(comm, sizeof comm, file) == nullptr) comm[0] = 0;
      std::fclose(file);
    }
    if (programName + "\n" == comm) threads.insert(std::atol(entry->d_name));
  }
  closedir(tasks);
  return threads;
}

volatile std::sig_atomic_t stopWatching = 0;
void OnTerminate(int) { stopWatching = 1; }

// Threads that appear while watching, for the given time or until SIGTERM;
// one that was there at the start (a sweep in progress, the power-saving
// defeat) does not count.
int Sweeps(long pid, int milliseconds) {
  std::signal(SIGTERM, OnTerminate);
  std::string name;
  if (FILE* file = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
    char comm[64] = {0};
    if (std::fgets(comm, sizeof comm, file) != nullptr) name.assign(comm, std::strcspn(comm, "\n"));
    std::fclose(file);
  }
  const std::set<long> baseline = ProgramThreads(pid, name);
  std::set<long> seen;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end && !stopWatching) {
    for (long thread : ProgramThreads(pid, name))
      if (baseline.count(thread) == 0) seen.insert(thread);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("%zu\n", seen.size());
  return 0;
}

// The close request that a window manager sends for the close button.
int Close(unsigned long window) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    Check(false, "the display opens");
    return failures;
  }
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
  XCloseDisplay(display);
  Check(sent != 0, "WM_DELETE_WINDOW sent to window 0x%lx", window);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "layout" && (argc == 3 || argc == 5))
    return Layout(argv[2], argc == 5 ? std::atoi(argv[3]) : 0, argc == 5 ? std::atoi(argv[4]) : 0);
  if (command == "curves" && argc == 4) return Curves(argv[2], std::string(argv[3]) == "measured");
  if (command == "has-curves" && argc == 3) {
    const Picture p = Load(argv[2], false);
    return p.width != 0 && CurvesUp(p) ? 0 : 1;
  }
  if (command == "marks" && argc == 5) return Marks(argv[2], argv[3], std::strtoull(argv[4], nullptr, 0));
  if (command == "sweeps" && argc == 4) return Sweeps(std::atol(argv[2]), std::atoi(argv[3]));
  if (command == "close" && argc == 3) return Close(std::strtoul(argv[2], nullptr, 0));
  std::fprintf(stderr, "usage: e2e_tool layout|curves|has-curves|marks|sweeps|close ...\n");
  return 2;
}
