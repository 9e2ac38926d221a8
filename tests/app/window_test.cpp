// The main window's behaviour driven through a fake window, with real sweeps.
#include "app/window.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/power_defeat.h"
#include "measure/state.h"
#include "probe/processor.h"
#include "tests/support/notify_counter.h"
#include "tests/support/state_reset.h"

namespace {
struct FakeWindow {
  std::map<uint32_t, bool> checked;
  std::map<uint32_t, uint32_t> timers;  // running timers and their periods
  std::string log;                      // every call, in order, each ending in "; "
  int endResult = -1;
};
FakeWindow fake;

void Log(const std::string& entry) { fake.log += entry + "; "; }

const WindowPort port = {
    &fake,
    [](void*, uint32_t id) { return fake.checked[id]; },
    [](void*, uint32_t id, bool on) { fake.checked[id] = on, Log((on ? "check " : "uncheck ") + std::to_string(id)); },
    [](void*, uint32_t first, uint32_t last, uint32_t id) {
      for (uint32_t item = first; item <= last; ++item) fake.checked[item] = item == id;
      Log("radio " + std::to_string(id));
    },
    [](void*, uint32_t timer, uint32_t period) {
      fake.timers[timer] = period;
      Log("start " + std::to_string(timer) + " " + std::to_string(period));
    },
    [](void*, uint32_t timer) { fake.timers.erase(timer), Log("kill " + std::to_string(timer)); },
    [](void*) { Log("invalidate"); },
    [](void*) { Log("screenshot"); },
    [](void*) { Log("delete fonts"); },
    [](void*) { Log("discard notices"); },
    [](void*, int result) { fake.endResult = result, Log("end " + std::to_string(result)); },
};

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    fake = FakeWindow();
    for (uint32_t id : {40026u, 40032u, 40037u, 40101u}) fake.checked[id] = true;  // the menu's marks at load
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
  void QuickSettings() {  // small, quick sweeps
    for (uint32_t command : {IDM_FAST_MEASUREMENT, IDM_TEST_AREA_1MB, IDM_BLOCK_STEP_16KB}) WindowCommand(port, command);
    fake.log.clear();
  }
  void DeliverNotice() {  // as the window's queue would
    ASSERT_TRUE(WaitEvent(NotifyEvent(), 120000));
    WindowMeasurementDone(port);
  }
};
}  // namespace

TEST_F(Window, OpensZeroedAndTicksRunOneSweepAtATime) {
  ASSERT_TRUE(ResultArraysExist());
  EXPECT_EQ(BlockCount(), 2046u);
  EXPECT_EQ(measurementState.copyRates[2045], 0u);
  EXPECT_EQ(fake.log, "start 2 2000; start 1 1000; ");
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t first = measurementState.measurementThread;
  ASSERT_NE(first, 0);
  ASSERT_NE(first, -1);
  WindowTimer(port, IDT_MEASUREMENT);  // dropped: the sweep is still registered
  EXPECT_EQ(measurementState.measurementThread, first);
  DeliverNotice();
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(fake.log, "invalidate; ");
  EXPECT_EQ(notifyCount.load(), 1);
  EXPECT_NE(measurementState.readRates[0], 0u);
  for (int sweep = 0; sweep < 3; ++sweep) {  // sweeps keep following each other
    WindowTimer(port, IDT_MEASUREMENT);
    ASSERT_NE(measurementState.measurementThread, 0);
    DeliverNotice();
  }
  EXPECT_EQ(notifyCount.load(), 4);
  fake.log.clear();
  WindowTimer(port, IDT_REPAINT);
  WindowTimer(port, 77);  // unknown timer: nothing
  EXPECT_EQ(fake.log, "invalidate; ");
}

TEST_F(Window, StructuralChangesStopTheSweepThenResetEvenForTheSameChoice) {
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_BLOCK_STEP_16KB);  // the choice already made
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(fake.log, "radio 40030; discard notices; invalidate; ");
  for (uint32_t i = 0; i < BlockCount(); ++i) ASSERT_EQ(measurementState.readRates[i], 0u) << i;

  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_TEST_AREA_8MB);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(measurementState.testAreaSize, 8388608u);
  EXPECT_EQ(measurementState.testBufferSize, TestBufferSize());
  EXPECT_GE(measurementState.testBufferSize, 8388608u);
  EXPECT_EQ(BlockCount(), (8388608u - 2048) / 16384);
  EXPECT_TRUE(fake.checked[40034] && !fake.checked[40031] && !fake.checked[40032]);
  WindowCommand(port, IDM_BLOCK_STEP_1KB + 2);
  EXPECT_EQ(measurementState.blockStep, 4096u);
  WindowMeasurementDone(port);  // a notice that the stop overtook changes nothing
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(notifyCount.load(), 0);
}

TEST_F(Window, TogglesActOnTheRunningSweepAndRefreshChoicesRestartTheRepaintTimer) {
  QuickSettings();  // fast mode is on now
  EXPECT_EQ(measurementState.repeatCount, 2u);
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t running = measurementState.measurementThread;
  WindowCommand(port, IDM_FAST_MEASUREMENT);
  EXPECT_EQ(measurementState.repeatCount, 10u);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_TRUE(measurementState.showCacheRegions);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_FALSE(measurementState.showCacheRegions);
  EXPECT_EQ(fake.log, "uncheck 40041; check 40021; invalidate; uncheck 40021; invalidate; ");
  EXPECT_EQ(measurementState.measurementThread, running);
  DeliverNotice();

  WindowCommand(port, IDM_REFRESH_NOW);
  EXPECT_EQ(measurementState.refreshInterval, 1u);
  EXPECT_EQ(fake.timers[IDT_REPAINT], 1u);
  fake.log.clear();
  WindowCommand(port, IDM_REFRESH_1S + 1);  // 2 s; the same again still restarts it
  WindowCommand(port, IDM_REFRESH_1S + 1);
  EXPECT_EQ(fake.log, "radio 40101; kill 2; start 2 2000; radio 40101; kill 2; start 2 2000; ");
  EXPECT_EQ(fake.timers[IDT_MEASUREMENT], 1000u);

  fake.log.clear();  // Enter, Escape and unknown commands do nothing
  for (uint32_t command : {1u, 2u, 40025u, 40035u, 40040u, 40105u}) WindowCommand(port, command);
  WindowCommand(port, IDM_SCREENSHOT);
  EXPECT_EQ(fake.log, "screenshot; ");
}

TEST_F(Window, PowerDefeatThreadsEndOnePerSignalAndThePendingSignalCounts) {
  EventHandle& stop = measurementState.powerDefeatStopEvent;
  WindowCommand(port, IDM_POWER_DEFEAT);  // off: signals once (no thread runs here)
  EXPECT_FALSE(fake.checked[IDM_POWER_DEFEAT]);
  EXPECT_TRUE(PollEvent(stop));
  EXPECT_FALSE(PollEvent(stop));
  WindowCommand(port, IDM_POWER_DEFEAT);  // on: a fresh thread that takes the next signal
  EXPECT_TRUE(fake.checked[IDM_POWER_DEFEAT]);
  SleepMilliseconds(20);
  SignalEvent(stop);
  SleepMilliseconds(50);
  EXPECT_FALSE(PollEvent(stop));

  SignalEvent(stop);  // given while no thread runs: ends the next one at once
  ThreadHandle thread = StartThread(PowerDefeatThread, nullptr);
  CloseThread(thread);
  thread = StartThread(PowerDefeatThread, nullptr);
  SleepMilliseconds(50);
  SignalEvent(stop);
  SleepMilliseconds(50);
  SignalEvent(stop);    // the second stays pending
  CloseThread(thread);  // returns: the first ended it
  EXPECT_TRUE(PollEvent(stop));
}

TEST_F(Window, CloseStopsTheSweepAndDestroyCleansUp) {
  QuickSettings();
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(120);
  WindowClose(port);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(fake.endResult, 2);
  fake.log.clear();
  WindowDestroyed(port);
  EXPECT_EQ(fake.log, "delete fonts; kill 2; kill 1; ");
  EXPECT_TRUE(fake.timers.empty());
  EXPECT_EQ(notifyCount.load(), 0);
}

TEST_F(Window, StressOfStructuralChangesWhileSweepsRun) {
  QuickSettings();
  for (int change = 0; change < 200; ++change) {
    WindowTimer(port, IDT_MEASUREMENT);
    if (change % 7 == 0) SleepMilliseconds(5);
    if (PollEvent(NotifyEvent())) WindowMeasurementDone(port);
    WindowCommand(port, change % 2 ? IDM_BLOCK_STEP_1KB + change % 5 : IDM_TEST_AREA_1MB + change % 4);
    ASSERT_EQ(measurementState.measurementThread, 0);
    ASSERT_TRUE(ResultArraysExist());
  }
  WindowClose(port);
  EXPECT_EQ(fake.endResult, 2);
}
