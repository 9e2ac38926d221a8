#include "app/power_defeat.h"

#include "platform/os.h"
#include "record/state.h"

uint32_t PowerDefeatThread(void*) {
  for (;;) {
    SleepMilliseconds(0);
    if (PollEvent(measurementState.powerDefeatStopEvent)) return 0;
  }
}

void StartPowerDefeatThread() {
  // Never joined: it ends by itself when it sees the stop event.
  DetachThread(StartThread(PowerDefeatThread, nullptr));
}
