// The main window's behaviour driven through a fake window, with real sweeps.
#include "app/window.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/power_defeat.h"
#include "probe/processor.h"
#include "record/state.h"
#include "tests/support/notify_counter.h"
#include "tests/support/state_reset.h"

namespace {
std::map<uint32_t, bool> checked;
std::map<uint32_t, uint32_t> timers;  // running timers and their periods
std::string log;                      // every call, in order, each ending in "; "
int endResult = -1;

void Log(const std::string& entry, uint32_t id = 0) { log += entry + (id ? " " + std::to_string(id) : "") + "; "; }

const WindowPort port = {
    &log,
    [](void*, uint32_t id) { return checked[id]; },
    [](void*, uint32_t id, bool on) { checked[id] = on, Log(on ? "check" : "uncheck", id); },
    [](void*, uint32_t first, uint32_t last, uint32_t id) {
      for (uint32_t item = first; item <= last; ++item) checked[item] = item == id;
      Log("radio", id);
    },
    [](void*, uint32_t timer, uint32_t period) { timers[timer] = period, Log("start " + std::to_string(timer), period); },
    [](void*, uint32_t timer) { timers.erase(timer), Log("kill", timer); },
    [](void*) { Log("invalidate"); },
    [](void*) { Log("screenshot"); },
    [](void*) { Log("delete fonts"); },
    [](void*) { Log("discard notices"); },
    [](void*, int result) { endResult = result, Log("end", result); },
};

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    checked = {{IDM_POWER_DEFEAT, true}}, timers.clear(), log.clear();
    measurementState.powerDefeatStopEvent = CreateAutoResetEvent();
    ProbeProcessor();
    WindowOpened(port);
    EXPECT_EQ(log, "start 2 2000; start 1 1000; ");
    EXPECT_TRUE(ResultArraysExist() && BlockCount() == 2046u);  // arrays for the menu's defaults
    while (PollEvent(NotifyEvent())) {
    }
    notifyCount = 0;
    for (uint32_t command : {IDM_FAST_MEASUREMENT, IDM_TEST_AREA_1MB, IDM_BLOCK_STEP_16KB}) WindowCommand(port, command);
    log.clear();  // small, quick sweeps from here on
  }
  void TearDown() override {
    StopSweep(port);
    SignalEvent(measurementState.powerDefeatStopEvent);
    SleepMilliseconds(20);
    CloseEvent(measurementState.powerDefeatStopEvent);
    ReleaseTestBuffers();
    ResetMeasurementStateForTest();
  }
  void DeliverNotice() {  // as the window's queue would
    ASSERT_TRUE(WaitEvent(NotifyEvent(), 120000));
    WindowMeasurementDone(port);
  }
};
}  // namespace

TEST_F(Window, TicksRunOneSweepAtATimeAndTogglesActOnTheRunningSweep) {
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t first = measurementState.measurementThread;
  ASSERT_TRUE(first != 0 && first != -1);
  WindowTimer(port, IDT_MEASUREMENT);  // dropped: the sweep is still registered
  EXPECT_EQ(measurementState.measurementThread, first);
  WindowCommand(port, IDM_FAST_MEASUREMENT);
  EXPECT_EQ(measurementState.repeatCount, 10u);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_TRUE(measurementState.showCacheRegions);
  WindowCommand(port, IDM_CACHE_REGIONS);
  EXPECT_FALSE(measurementState.showCacheRegions);
  EXPECT_EQ(measurementState.measurementThread, first);
  DeliverNotice();
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(notifyCount.load(), 1);
  EXPECT_NE(measurementState.readRates[0], 0u);
  WindowTimer(port, IDT_MEASUREMENT);  // the next sweep follows
  ASSERT_NE(measurementState.measurementThread, 0);
  DeliverNotice();
  EXPECT_EQ(notifyCount.load(), 2);
  WindowTimer(port, IDT_REPAINT);
  WindowTimer(port, 77);  // unknown timer: nothing
  EXPECT_EQ(log, "uncheck 40041; check 40021; invalidate; uncheck 40021; invalidate; invalidate; invalidate; invalidate; ");
}

TEST_F(Window, StructuralChangesStopTheSweepThenResetEvenForTheSameChoice) {
  EXPECT_EQ(measurementState.repeatCount, 2u);
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_BLOCK_STEP_16KB);  // the choice already made
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(log, "radio 40030; discard notices; invalidate; ");
  for (uint32_t i = 0; i < BlockCount(); ++i) ASSERT_EQ(measurementState.readRates[i], 0u) << i;
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(150);
  WindowCommand(port, IDM_TEST_AREA_8MB);
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(measurementState.testAreaSize, 8388608u);
  EXPECT_TRUE(measurementState.testBufferSize == TestBufferSize() && measurementState.testBufferSize >= 8388608u);
  EXPECT_EQ(BlockCount(), (8388608u - 2048) / 16384);
  EXPECT_TRUE(checked[40034] && !checked[40031] && !checked[40032]);
  WindowCommand(port, IDM_BLOCK_STEP_1KB + 2);
  EXPECT_EQ(measurementState.blockStep, 4096u);
  log.clear();
  WindowMeasurementDone(port);  // a notice that the stop overtook changes nothing
  EXPECT_TRUE(measurementState.measurementThread == 0 && log.empty()) << log;
  EXPECT_EQ(notifyCount.load(), 0);
}

TEST_F(Window, RefreshRestartsTheRepaintTimerPowerDefeatSignalsItsThreadOthersDoNothing) {
  WindowCommand(port, IDM_REFRESH_NOW);
  EXPECT_EQ(measurementState.refreshInterval, 1u);
  EXPECT_EQ(timers[IDT_REPAINT], 1u);
  log.clear();
  WindowCommand(port, IDM_REFRESH_1S + 1);  // 2 s; the same again still restarts it
  WindowCommand(port, IDM_REFRESH_1S + 1);
  // Enter, Escape and unknown commands do nothing.
  for (uint32_t command : {1u, 2u, 40025u, 40035u, 40040u, 40105u, uint32_t{IDM_SCREENSHOT}}) WindowCommand(port, command);
  EXPECT_EQ(log, "radio 40101; kill 2; start 2 2000; radio 40101; kill 2; start 2 2000; screenshot; ");
  EXPECT_EQ(timers[IDT_MEASUREMENT], 1000u);

  EventHandle& stop = measurementState.powerDefeatStopEvent;
  WindowCommand(port, IDM_POWER_DEFEAT);  // off: signals once (no thread runs here)
  EXPECT_TRUE(!checked[IDM_POWER_DEFEAT] && PollEvent(stop) && !PollEvent(stop));
  WindowCommand(port, IDM_POWER_DEFEAT);  // on: a fresh thread that takes the next signal
  EXPECT_TRUE(checked[IDM_POWER_DEFEAT]);
  SleepMilliseconds(20);
  SignalEvent(stop);
  SleepMilliseconds(50);
  EXPECT_FALSE(PollEvent(stop));
  SignalEvent(stop);  // given while no thread runs: ends the next one, as the join shows
  CloseThread(StartThread(PowerDefeatThread, nullptr));
}

// Under TSan: sweeps stopped at any moment, then close and destroy.
TEST_F(Window, StructuralChangesWhileSweepsRunThenCloseAndDestroy) {
  for (int change = 0; change < 200; ++change) {
    WindowTimer(port, IDT_MEASUREMENT);
    if (change % 7 == 0) SleepMilliseconds(5);
    if (PollEvent(NotifyEvent())) WindowMeasurementDone(port);
    WindowCommand(port, change % 2 ? IDM_BLOCK_STEP_1KB + change % 5 : IDM_TEST_AREA_1MB + change % 4);
    ASSERT_EQ(measurementState.measurementThread, 0);
    ASSERT_TRUE(ResultArraysExist());
  }
  WindowTimer(port, IDT_MEASUREMENT);
  SleepMilliseconds(120);
  log.clear();
  WindowClose(port);
  EXPECT_EQ(measurementState.measurementThread, 0);
  WindowDestroyed(port);
  EXPECT_EQ(log, "discard notices; end 2; delete fonts; kill 2; kill 1; ");
  EXPECT_TRUE(timers.empty());
}
