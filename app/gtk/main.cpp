// lorvanta: the benchmark's window on the Linux desktop, with the same order
// of start and end as the Windows program.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>

#include "app/gtk/main_window.h"
#include "app/power_defeat.h"
#include "app/tool_version.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"

// The program takes one argument, --version, which prints the version before
// GTK starts (no display needed). GTK is not shown the command line, so any
// other argument changes nothing and is not refused.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lorvanta %s\n", toolVersion);
      return 0;
    }
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
