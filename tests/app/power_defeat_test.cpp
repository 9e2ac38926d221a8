#include "app/power_defeat.h"

#include <gtest/gtest.h>

#include "measure/state.h"
#include "platform/os.h"

namespace {
// Runs one PowerDefeatThread and says whether it ended within the time.
bool EndsWithin(uint32_t milliseconds, ThreadHandle* thread) {
  struct Ended {
    EventHandle event;
  };
  static Ended ended{CreateAutoResetEvent()};
  *thread = StartThread(
      [](void*) -> uint32_t {
        const uint32_t exitCode = PowerDefeatThread(nullptr);
        SignalEvent(ended.event);
        return exitCode;
      },
      nullptr);
  return WaitEvent(ended.event, milliseconds);
}
}  // namespace

TEST(PowerDefeat, PendingSignalEndsTheNextThreadAndEachSignalEndsOne) {
  measurementState.powerDefeatStopEvent = CreateAutoResetEvent();
  ThreadHandle thread;

  SignalEvent(measurementState.powerDefeatStopEvent);  // given while no thread runs
  EXPECT_TRUE(EndsWithin(5000, &thread));
  CloseThread(thread);

  EXPECT_FALSE(EndsWithin(100, &thread));  // no signal: it keeps running
  SignalEvent(measurementState.powerDefeatStopEvent);
  SleepMilliseconds(50);
  SignalEvent(measurementState.powerDefeatStopEvent);  // the second stays pending
  CloseThread(thread);                                 // the first ended it
  EXPECT_TRUE(PollEvent(measurementState.powerDefeatStopEvent));

  CloseEvent(measurementState.powerDefeatStopEvent);
  measurementState.powerDefeatStopEvent = 0;
}
