// The main window's behaviour, written once for every front end: what each
// timer tick, menu command, completion notice, close and destroy does to the
// measurement state and to the menu. A front end (the Win32 dialog, the GTK
// window) fills a WindowPort and translates its events into these calls.
#pragma once
#include <cstdint>

// Timers of the main window.
constexpr uint32_t IDT_MEASUREMENT = 1;  // every 1000 ms: start a sweep unless one runs
constexpr uint32_t IDT_REPAINT = 2;      // every refreshInterval ms: repaint

// The sweep's completion notice to the window (the first private message).
constexpr uint32_t WM_MEASUREMENT_DONE = 0x8000;

// Menu commands.
enum MenuCommand : uint32_t {
  IDM_CACHE_REGIONS = 40021,
  IDM_BLOCK_STEP_1KB = 40026,  // ... 40030 for 16 KB
  IDM_BLOCK_STEP_16KB = 40030,
  IDM_TEST_AREA_1MB = 40031,  // ... 40034 for 8 MB
  IDM_TEST_AREA_8MB = 40034,
  IDM_POWER_DEFEAT = 40037,
  IDM_SCREENSHOT = 40039,
  IDM_FAST_MEASUREMENT = 40041,
  IDM_REFRESH_1S = 40100,  // ... 40103 for 8 s
  IDM_REFRESH_NOW = 40104,
};

// What the behaviour needs from a platform window.
struct WindowPort {
  void* window;  // the native window; also the sweep thread's argument
  bool (*IsMenuItemChecked)(void* window, uint32_t id);
  void (*CheckMenuItem)(void* window, uint32_t id, bool checked);
  // Gives id the radio mark among first..last and clears the others.
  void (*CheckMenuRadioItem)(void* window, uint32_t first, uint32_t last, uint32_t id);
  void (*StartTimer)(void* window, uint32_t timerId, uint32_t periodMilliseconds);
  void (*KillTimer)(void* window, uint32_t timerId);
  // Invalidates the whole client area, with the background erased.
  void (*Invalidate)(void* window);
  // Brings the window up to date and writes its client area to the next free
  // screenshot file.
  void (*SaveScreenshot)(void* window);
  void (*DeleteFonts)(void* window);
  // Drops completion notices still queued for the window: called once a sweep
  // has been stopped from outside, so a notice it sent just before cannot be
  // taken for the notice of a later sweep.
  void (*DiscardMeasurementNotices)(void* window);
  void (*EndWindow)(void* window, int result);
};

// After the window exists and its fonts are created: zeroed result arrays,
// then IDT_REPAINT at refreshInterval and IDT_MEASUREMENT at 1000 ms.
void WindowOpened(const WindowPort& port);
void WindowTimer(const WindowPort& port, uint32_t timerId);
void WindowMeasurementDone(const WindowPort& port);
// Every command acts, even when it chooses the value already set; unknown
// commands (Enter and Escape among them) do nothing.
void WindowCommand(const WindowPort& port, uint32_t command);
// The close request: stops the sweep and ends the window with result 2.
void WindowClose(const WindowPort& port);
// The window is going away: fonts deleted, both timers killed.
void WindowDestroyed(const WindowPort& port);

// Ends a running sweep and returns only once its thread can write nothing
// more; measurementThread is 0 afterwards.
void StopSweep(const WindowPort& port);
