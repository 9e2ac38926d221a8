#include "app/window.h"

#include "app/power_defeat.h"
#include "measure/sweep.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"

static const intptr_t startingSweep = -1;

void WindowOpened(const WindowPort& port) {
  ResetResultArrays();
  port.StartTimer(port.window, IDT_REPAINT, measurementState.refreshInterval);
  port.StartTimer(port.window, IDT_MEASUREMENT, 1000);
}

void WindowTimer(const WindowPort& port, uint32_t timerId) {
  MeasurementState& state = measurementState;
  if (timerId == IDT_MEASUREMENT) {
    // Ticks that find a sweep registered are dropped, never queued.
    if (CompareExchange(&state.measurementThread, startingSweep, 0) != 0) return;
    state.measurementThread = static_cast<intptr_t>(StartThread(MeasurementThread, port.window));
  } else if (timerId == IDT_REPAINT) {
    port.Invalidate(port.window);
  }
}

void WindowMeasurementDone(const WindowPort& port) {
  MeasurementState& state = measurementState;
  // A notice with no sweep registered is one that a stop overtook.
  if (state.measurementThread == 0 || state.measurementThread == startingSweep) return;
  CloseThread(static_cast<ThreadHandle>(state.measurementThread));
  state.measurementThread = 0;
  port.Invalidate(port.window);
}

void StopSweep(const WindowPort& port) {
  MeasurementState& state = measurementState;
  if (state.measurementThread == 0) return;
  const ThreadHandle thread = static_cast<ThreadHandle>(state.measurementThread);
  StopThread(thread);
  CloseThread(thread);
  state.measurementThread = 0;
  port.DiscardMeasurementNotices(port.window);
}

static bool Toggle(const WindowPort& port, uint32_t id) {
  const bool nowChecked = !port.IsMenuItemChecked(port.window, id);
  port.CheckMenuItem(port.window, id, nowChecked);
  return nowChecked;
}

void WindowCommand(const WindowPort& port, uint32_t command) {
  MeasurementState& state = measurementState;
  if (command >= IDM_BLOCK_STEP_1KB && command <= IDM_BLOCK_STEP_16KB) {
    port.CheckMenuRadioItem(port.window, IDM_BLOCK_STEP_1KB, IDM_BLOCK_STEP_16KB, command);
    StopSweep(port);
    state.blockStep = 1024u << (command - IDM_BLOCK_STEP_1KB);
    ResetResultArrays();
    port.Invalidate(port.window);
  } else if (command >= IDM_TEST_AREA_1MB && command <= IDM_TEST_AREA_8MB) {
    port.CheckMenuRadioItem(port.window, IDM_TEST_AREA_1MB, IDM_TEST_AREA_8MB, command);
    StopSweep(port);
    state.testAreaSize = 0x100000ull << (command - IDM_TEST_AREA_1MB);
    AllocateTestBuffers();
    ResetResultArrays();
    port.Invalidate(port.window);
  } else if (command == IDM_POWER_DEFEAT) {
    if (Toggle(port, command)) {
      StartPowerDefeatThread();
    } else {
      SignalEvent(state.powerDefeatStopEvent);
    }
  } else if (command == IDM_FAST_MEASUREMENT) {
    StoreWhole32(&state.repeatCount, Toggle(port, command) ? 2 : 10);
  } else if (command >= IDM_REFRESH_1S && command <= IDM_REFRESH_NOW) {
    static const uint32_t intervals[] = {1000, 2000, 4000, 8000, 1};
    port.CheckMenuRadioItem(port.window, IDM_REFRESH_1S, IDM_REFRESH_NOW, command);
    state.refreshInterval = intervals[command - IDM_REFRESH_1S];
    port.KillTimer(port.window, IDT_REPAINT);
    port.StartTimer(port.window, IDT_REPAINT, state.refreshInterval);
  } else if (command == IDM_CACHE_REGIONS) {
    state.showCacheRegions = Toggle(port, command);
    port.Invalidate(port.window);
  } else if (command == IDM_SCREENSHOT) {
    port.SaveScreenshot(port.window);
  }
}

void WindowClose(const WindowPort& port) {
  StopSweep(port);
  port.EndWindow(port.window, 2);
}

void WindowDestroyed(const WindowPort& port) {
  port.DeleteFonts(port.window);
  port.KillTimer(port.window, IDT_REPAINT);
  port.KillTimer(port.window, IDT_MEASUREMENT);
}
