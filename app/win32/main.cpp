// Lorvanta.exe: the entry with its fixed order of start and end.
#include <windows.h>

#include "app/power_defeat.h"
#include "app/win32/dialog.h"
#include "app/win32/resource.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"

// The command line and the show command are not read: the program has no
// arguments, and the dialog manager shows the window itself.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  MeasurementState& state = measurementState;
  // The stop event exists before the first thread that polls it.
  state.powerDefeatStopEvent = CreateAutoResetEvent();
  StartPowerDefeatThread();
  // Machine facts and the test buffers, before the window's first timer can
  // start a sweep.
  ProbeProcessor();
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), GetDesktopWindow(), MainDialogProc, 0);
  SignalEvent(state.powerDefeatStopEvent);
  ReleaseTestBuffers();
  return 0;
}
