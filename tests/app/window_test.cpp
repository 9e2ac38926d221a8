// The main window's behaviour driven through a fake window, with real sweeps.
#include "app/window.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/power_defeat.h"
#include "measure/state.h"
#include "probe/processor.h"
#include "tests/support/notify_counter.h"
#include "tests/support/state_reset.h"

namespace {
struct FakeWindow {
  std::map<uint32_t, bool> checked;
  std::map<uint32_t, uint32_t> timers;  // running timers and their periods
  std::vector<std::string> log;         // every call, in order
  int endResult = -1;
};
FakeWindow fake;

void Log(const std::string& entry) { fake.log.push_back(entry); }

const WindowPort port = {
    &fake,
    [](void*, uint32_t id) { return fake.checked[id]; },
    [](void*, uint32_t id, bool on) {
      fake.checked[id] = on;
      Log((on ? "check " : "uncheck ") + std::to_string(id));
    },
    [](void*, uint32_t first, uint32_t last, uint32_t id) {
      for (uint32_t item = first; item <= last; ++item) fake.checked[item] = item == id;
      Log("radio " + std::to_string(id));
    },
    [](void*, uint32_t timer, uint32_t period) {
      fake.timers[timer] = period;
      Log("start timer " + std::to_string(timer) + " " + std::to_string(period));
    },
    [](void*, uint32_t timer) {
      fake.timers.erase(timer);
      Log("kill timer " + std::to_string(timer));
    },
    [](void*) { Log("invalidate"); },
    [](void*) { Log("screenshot"); },
    [](void*) { Log("delete fonts"); },
    [](void*) { Log("discard notices"); },
    [](void*, int result) {
      fake.endResult = result;
      Log("end " + std::to_string(result));
    },
};

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    fake = FakeWindow();
    // The menu's marks at load.
    for (uint32_t id : {40026u, 40032u, 40037u, 40101u}) fake.checked[id] = true;
    measurementState.powerDefeatStopEvent = CreateAutoResetEvent();
    ProbeProcessor();
    WindowOpened(port);
    while (PollEvent(NotifyEvent())) {
    }
    notifyCount = 0;
  }
  void TearDown() override {
    StopSweep(port);
    SignalEvent(measurementState.powerDefeatStopEvent);
    SleepMilliseconds(20);
    CloseEvent(measurementState.powerDefeatStopEvent);
    ReleaseTestBuffers();
    ResetMeasurementStateForTest();
  }
  // Small, quick sweeps.
  void QuickSettings() {
    WindowCommand(port, IDM_FAST_MEASUREMENT);
    WindowCommand(port, IDM_TEST_AREA_1MB);
    WindowCommand(port, IDM_BLOCK_STEP_16KB);
    fake.log.clear();
  }
  // Delivers the notice of the running sweep, as the window's queue would.
  void DeliverNotice() {
    ASSERT_TRUE(WaitEvent(NotifyEvent(), 120000));
    WindowMeasurementDone(port);
  }
};
}  // namespace

TEST_F(Window, OpeningZeroesTheArraysAndStartsBothTimers) {
  ASSERT_TRUE(ResultArraysExist());
  EXPECT_EQ(BlockCount(), 2046u);
  EXPECT_EQ(measurementState.copyRates[2045], 0u);
  const std::vector<std::string> expected = {"start timer 2 2000", "start timer 1 1000"};
  EXPECT_EQ(fake.log, expected);
}

TEST_F(Window, TicksStartOneSweepAtATimeAndTheNoticeLetsTheNextStart) {
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t first = measurementState.measurementThread;
  ASSERT_NE(first, 0);
  ASSERT_NE(first, -1);
  WindowTimer(port, IDT_MEASUREMENT);  // dropped: the sweep is still registered
  EXPECT_EQ(measurementState.measurementThread, first);
  DeliverNotice();
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(fake.log.back(), "invalidate");
  EXPECT_EQ(notifyCount.load(), 1);  // only one sweep ran
  EXPECT_NE(measurementState.readRates[0], 0u);

  for (int sweep = 0; sweep < 3; ++sweep) {  // sweeps keep following each other
    WindowTimer(port, IDT_MEASUREMENT);
    ASSERT_NE(measurementState.measurementThread, 0);
    DeliverNotice();
  }
  EXPECT_EQ(notifyCount.load(), 4);
  WindowTimer(port, IDT_REPAINT);
  EXPECT_EQ(fake.log.back(), "invalidate");
  const size_t before = fake.log.size();
  WindowTimer(port, 77);  // unknown timer: nothing
  EXPECT_EQ(fake.log.size(), before);
}

TEST_F(Window, StructuralChangesStopTheSweepThenResetEvenForTheSameChoice) {
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_BLOCK_STEP_16KB);  // the choice already made
  EXPECT_EQ(measurementState.measurementThread, 0);
  const std::vector<std::string> expected = {"radio 40030", "discard notices", "invalidate"};
  EXPECT_EQ(fake.log, expected);
  for (uint32_t i = 0; i < BlockCount(); ++i) ASSERT_EQ(measurementState.readRates[i], 0u) << i;

  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_TEST_AREA_8MB);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(measurementState.testAreaSize, 8388608u);
  EXPECT_EQ(measurementState.testBufferSize, TestBufferSize());
  EXPECT_GE(measurementState.testBufferSize, 8388608u);
  EXPECT_EQ(BlockCount(), (8388608u - 2048) / 16384);
  EXPECT_TRUE(fake.checked[40034]);
  EXPECT_FALSE(fake.checked[40031]);
  EXPECT_FALSE(fake.checked[40032]);

  WindowCommand(port, IDM_BLOCK_STEP_1KB + 2);
  EXPECT_EQ(measurementState.blockStep, 4096u);
  // A notice that the stop overtook changes nothing.
  WindowMeasurementDone(port);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(notifyCount.load(), 0);
}

TEST_F(Window, FastModeAndCacheMarksActOnTheRunningSweep) {
  QuickSettings();  // fast mode is on now
  EXPECT_EQ(measurementState.repeatCount, 2u);
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t running = measurementState.measurementThread;
  WindowCommand(port, IDM_FAST_MEASUREMENT);
  EXPECT_EQ(measurementState.repeatCount, 10u);
  EXPECT_EQ(measurementState.measurementThread, running);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_TRUE(measurementState.showCacheRegions);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_FALSE(measurementState.showCacheRegions);
  const std::vector<std::string> expected = {"uncheck 40041", "check 40021", "invalidate", "uncheck 40021",
                                             "invalidate"};
  EXPECT_EQ(fake.log, expected);
  EXPECT_EQ(measurementState.measurementThread, running);
  DeliverNotice();
}

TEST_F(Window, RefreshChoicesRestartTheRepaintTimer) {
  WindowCommand(port, IDM_REFRESH_NOW);
  EXPECT_EQ(measurementState.refreshInterval, 1u);
  EXPECT_EQ(fake.timers[IDT_REPAINT], 1u);
  fake.log.clear();
  WindowCommand(port, IDM_REFRESH_1S + 1);  // 2 seconds
  WindowCommand(port, IDM_REFRESH_1S + 1);  // the same again still restarts it
  const std::vector<std::string> expected = {"radio 40101", "kill timer 2", "start timer 2 2000",
                                             "radio 40101", "kill timer 2", "start timer 2 2000"};
  EXPECT_EQ(fake.log, expected);
  EXPECT_EQ(fake.timers[IDT_MEASUREMENT], 1000u);
}

TEST_F(Window, PowerDefeatOffSignalsOnceAndOnStartsAFreshThread) {
  WindowCommand(port, IDM_POWER_DEFEAT);  // off: no thread runs in this test
  EXPECT_FALSE(fake.checked[IDM_POWER_DEFEAT]);
  EXPECT_TRUE(PollEvent(measurementState.powerDefeatStopEvent));
  EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent));
  WindowCommand(port, IDM_POWER_DEFEAT);  // on: a thread that polls the event
  EXPECT_TRUE(fake.checked[IDM_POWER_DEFEAT]);
  SleepMilliseconds(20);
  SignalEvent(measurementState.powerDefeatStopEvent);
  SleepMilliseconds(50);
  // The thread consumed the signal.
  EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent));
}

TEST_F(Window, EnterEscapeAndUnknownCommandsDoNothing) {
  fake.log.clear();
  for (uint32_t command : {1u, 2u, 40025u, 40035u, 40040u, 40105u}) WindowCommand(port, command);
  EXPECT_TRUE(fake.log.empty());
  EXPECT_EQ(fake.endResult, -1);
  WindowCommand(port, IDM_SCREENSHOT);
  EXPECT_EQ(fake.log.back(), "screenshot");
}

TEST_F(Window, CloseStopsTheSweepAndDestroyCleansUp) {
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(120);
  WindowClose(port);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(fake.endResult, 2);
  WindowDestroyed(port);
  const std::vector<std::string> tail(fake.log.end() - 3, fake.log.end());
  const std::vector<std::string> expected = {"delete fonts", "kill timer 2", "kill timer 1"};
  EXPECT_EQ(tail, expected);
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(notifyCount.load(), 0);
}

TEST_F(Window, StressOfStructuralChangesWhileSweepsRun) {
  QuickSettings();
  for (int change = 0; change < 200; ++change) {
    WindowTimer(port, IDT_MEASUREMENT);
    if (change % 7 == 0) SleepMilliseconds(5);
    if (PollEvent(NotifyEvent())) WindowMeasurementDone(port);
    const uint32_t command = change % 2 ? IDM_BLOCK_STEP_1KB + change % 5 : IDM_TEST_AREA_1MB + change % 4;
    WindowCommand(port, command);
    ASSERT_EQ(measurementState.measurementThread, 0);
    ASSERT_TRUE(ResultArraysExist());
  }
  WindowClose(port);
  EXPECT_EQ(fake.endResult, 2);
}
