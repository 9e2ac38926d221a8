#include "tests/support/notify_counter.h"

#include "measure/sweep.h"

std::atomic<int> notifyCount{0};
std::atomic<void*> lastNotifiedWindow{nullptr};

EventHandle NotifyEvent() {
  static EventHandle event = CreateAutoResetEvent();
  return event;
}

void NotifyMeasurementDone(void* window) {
  lastNotifiedWindow = window;
  ++notifyCount;
  SignalEvent(NotifyEvent());
}
