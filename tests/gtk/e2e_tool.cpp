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
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "measure/state.h"
#include "platform/cairo/cairo_canvas.h"
#include "probe/processor.h"
#include "tests/support/screenshot_checks.h"

namespace {

int Layout(const char* name, int expectedWidth, int expectedHeight) {
  const Picture p = LoadScreenshot(name, true);
  if (expectedWidth > 0 && p.width != 0) {
    Check(p.width == expectedWidth && p.height == expectedHeight, "%s: the client area's size %dx%d (file %dx%d)",
          name, expectedWidth, expectedHeight, p.width, p.height);
  }
  CheckLayout(p, name, RgbOf(kButtonFaceColour), RgbOf(kButtonShadowColour), RgbOf(kButtonHighlightColour));
  return checkFailures;
}

int Marks(const char* without, const char* with, uint64_t testArea) {
  ProbeProcessor();  // the cache sizes the program found on this machine
  CheckCacheMarks(LoadScreenshot(without, true), LoadScreenshot(with, true), testArea, measurementState.l1CacheSize,
                  measurementState.l2CacheSize);
  ReleaseTestBuffers();
  return checkFailures;
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
    return checkFailures;
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
  return checkFailures;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "layout" && (argc == 3 || argc == 5))
    return Layout(argv[2], argc == 5 ? std::atoi(argv[3]) : 0, argc == 5 ? std::atoi(argv[4]) : 0);
  if (command == "curves" && argc == 4) {
    CheckCurves(LoadScreenshot(argv[2], true), std::string(argv[3]) == "measured", argv[2]);
    return checkFailures;
  }
  if (command == "has-curves" && argc == 3) {
    const Picture p = LoadScreenshot(argv[2], false);
    return p.width != 0 && CurvesUp(p) ? 0 : 1;
  }
  if (command == "marks" && argc == 5) return Marks(argv[2], argv[3], std::strtoull(argv[4], nullptr, 0));
  if (command == "sweeps" && argc == 4) return Sweeps(std::atol(argv[2]), std::atoi(argv[3]));
  if (command == "close" && argc == 3) return Close(std::strtoul(argv[2], nullptr, 0));
  std::fprintf(stderr, "usage: e2e_tool layout|curves|has-curves|marks|sweeps|close ...\n");
  return 2;
}
