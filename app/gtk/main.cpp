// lorvanta: the benchmark's window on the Linux desktop, with the same order
// of start and end as the Windows program.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/gtk/main_window.h"
#include "app/power_defeat.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"

// The program takes no arguments: GTK is not shown the command line, so no
// argument changes anything or is refused.
int main(int, char**) {
  g_set_prgname("lorvanta");
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "lorvanta: no display to open a window on\n");
    return 1;
  }
  MeasurementState& state = measurementState;
  // The stop event exists before the first thread that polls it.
  state.powerDefeatStopEvent = CreateAutoResetEvent();
  StartPowerDefeatThread();
  // Machine facts and the test buffers, before the window's first timer can
  // start a sweep.
  ProbeProcessor();
  RunMainWindow();
  SignalEvent(state.powerDefeatStopEvent);
  ReleaseTestBuffers();
  return 0;
}
