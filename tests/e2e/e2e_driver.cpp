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

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "app/window.h"
#include "measure/state.h"
#include "probe/processor.h"
#include "tests/support/screenshot_checks.h"

namespace {

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
  // The window exists before the display shows it; a capture taken then is
  // black. Wait until its client area shows the button face at a corner.
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  bool shown = false;
  for (int attempt = 0; attempt < 300 && !shown; ++attempt) {
    HDC dc = GetDC(window);
    shown = IsWindowVisible(window) && GetPixel(dc, 1, 1) == face;
    ReleaseDC(window, dc);
    if (!shown) Sleep(100);
  }
  if (!shown) Abort("the window did not show its client area within 30 s");
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

bool FileExists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ScreenshotName(int n) { return "screenshot-" + std::to_string(n) + ".bmp"; }

// Takes a screenshot with the menu command; it must land in expectedName
// and have the client area's size.
Picture Screenshot(const std::string& expectedName) {
  RECT client;
  GetClientRect(window, &client);
  Check(!FileExists(expectedName), "%s does not exist yet", expectedName.c_str());
  Command(IDM_SCREENSHOT);
  const Picture picture = LoadScreenshot(expectedName, true);
  Check(picture.width == client.right && picture.height == client.bottom, "%s: the client area's size %dx%d",
        expectedName.c_str(), static_cast<int>(client.right), static_cast<int>(client.bottom));
  return picture;
}

void CheckLayout(const Picture& p, const char* name) {
  ::CheckLayout(p, name, RgbOf(GetSysColor(COLOR_BTNFACE)), RgbOf(GetSysColor(COLOR_BTNSHADOW)),
              RgbOf(GetSysColor(COLOR_BTNHIGHLIGHT)));
}

// Waits until a screenshot shows three measured curves, at most timeout ms.
Picture WaitForCurves(int* nextNumber, DWORD timeout, const char* what) {
  const DWORD start = GetTickCount();
  Picture picture;
  for (;;) {
    Sleep(1500);
    picture = Screenshot(ScreenshotName((*nextNumber)++));
    if (picture.width == 0) return picture;
    if (CurvesUp(picture) || GetTickCount() - start > timeout) break;
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
  Command(IDM_CACHE_REGIONS);
  CheckCacheMarks(measured, Screenshot(ScreenshotName(next++)), 0x100000, measurementState.l1CacheSize,
                  measurementState.l2CacheSize);
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
  return checkFailures;
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
  return checkFailures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "main") return MainScenario();
  if (scenario == "stress") return StressScenario();
  std::fprintf(stderr, "usage: e2e_driver main|stress\n");
  return 2;
}
