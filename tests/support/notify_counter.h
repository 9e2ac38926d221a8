// Test programs' binding of the sweep's completion notice: counts notices and
// signals an event that a test can wait on.
#pragma once
#include <atomic>

#include "platform/os.h"

extern std::atomic<int> notifyCount;
extern std::atomic<void*> lastNotifiedWindow;
EventHandle NotifyEvent();
