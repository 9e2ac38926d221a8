// The GTK program's completion notice: from the sweep's thread to the main
// loop without waiting, once per sweep, and never for a sweep that was
// stopped. Needs GLib's main loop only, no display.
#include "app/gtk/measurement_notice.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "app/window.h"
#include "measure/state.h"
#include "measure/sweep.h"
#include "probe/processor.h"
#include "tests/support/state_reset.h"

namespace {

struct Delivery {
  void* window;
  std::thread::id thread;
};
std::vector<Delivery> deliveries;

void Record(void* window) { deliveries.push_back(Delivery{window, std::this_thread::get_id()}); }

// Runs everything the default main context has ready, as the main loop would.
void RunMainLoop() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

void PostFromAnotherThread(void* window) {
  std::thread sweep([window] { PostMeasurementNotice(window); });
  sweep.join();  // returns although the main loop has not run: posting never waits
}

class MeasurementNotice : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMeasurementNoticeHandler(Record);
    DropMeasurementNotices();
    RunMainLoop();
    deliveries.clear();
  }
  void TearDown() override {
    DropMeasurementNotices();
    RunMainLoop();
    SetMeasurementNoticeHandler(nullptr);
  }
  int windowA = 0, windowB = 0;
};

TEST_F(MeasurementNotice, ArrivesOnTheMainThreadOnceAndOnlyWhenItsLoopRuns) {
  PostFromAnotherThread(&windowA);
  PostFromAnotherThread(&windowB);
  EXPECT_TRUE(deliveries.empty());
  RunMainLoop();
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_EQ(deliveries[0].window, &windowA);
  EXPECT_EQ(deliveries[1].window, &windowB);
  EXPECT_EQ(deliveries[0].thread, std::this_thread::get_id());
  RunMainLoop();
  EXPECT_EQ(deliveries.size(), 2u);  // delivered once
}

TEST_F(MeasurementNotice, DroppedNoticesDeliverNothingButLaterOnesArrive) {
  PostFromAnotherThread(&windowA);
  PostFromAnotherThread(&windowA);
  DropMeasurementNotices();
  RunMainLoop();
  EXPECT_TRUE(deliveries.empty());
  PostFromAnotherThread(&windowA);
  DropMeasurementNotices();
  PostFromAnotherThread(&windowB);
  RunMainLoop();
  EXPECT_EQ(deliveries.size(), 1u);
}

// With the window behaviour and real sweeps: a sweep that ended and posted
// its notice just before a stop must not end the sweep started after it.
int window = 0;

WindowPort Port() {
  WindowPort port;
  port.window = &window;
  port.IsMenuItemChecked = [](void*, uint32_t) { return false; };
  port.CheckMenuItem = [](void*, uint32_t, bool) {};
  port.CheckMenuRadioItem = [](void*, uint32_t, uint32_t, uint32_t) {};
  port.StartTimer = [](void*, uint32_t, uint32_t) {};
  port.KillTimer = [](void*, uint32_t) {};
  port.Invalidate = [](void*) {};
  port.SaveScreenshot = [](void*) {};
  port.DeleteFonts = [](void*) {};
  port.DiscardMeasurementNotices = [](void*) { DropMeasurementNotices(); };
  port.EndWindow = [](void*, int) {};
  return port;
}

class NoticeWithSweeps : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    ProbeProcessor();
    measurementState.testAreaSize = 0x100000;
    measurementState.blockStep = 16384;
    measurementState.repeatCount = 2;
    AllocateTestBuffers();
    ResetResultArrays();
    SetMeasurementNoticeHandler([](void*) { WindowMeasurementDone(Port()); });
    DropMeasurementNotices();
    RunMainLoop();
  }
  void TearDown() override {
    StopSweep(Port());
    RunMainLoop();
    SetMeasurementNoticeHandler(nullptr);
    ReleaseTestBuffers();
  }
  // Runs the main loop until no sweep is registered, at most 30 s.
  bool RunUntilSweepNoticed() {
    for (int i = 0; i < 3000; ++i) {
      RunMainLoop();
      if (measurementState.measurementThread == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

TEST_F(NoticeWithSweeps, AStaleNoticeDoesNotEndTheNextSweep) {
  WindowTimer(Port(), IDT_MEASUREMENT);
  const intptr_t first = measurementState.measurementThread;
  ASSERT_NE(first, 0);
  // Let the sweep finish and post its notice while the main loop stands still.
  for (int i = 0; i < 3000 && LoadWhole(&measurementState.readRates[BlockCount() - 1]) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // A block-step change stops that sweep; the next tick starts another.
  WindowCommand(Port(), IDM_BLOCK_STEP_16KB);
  EXPECT_EQ(measurementState.measurementThread, 0);
  WindowTimer(Port(), IDT_MEASUREMENT);
  const intptr_t second = measurementState.measurementThread;
  ASSERT_NE(second, 0);
  // The first sweep's notice comes out of the queue now: it must leave the
  // running sweep registered (it takes at least 100 ms to measure the clock).
  const auto before = std::chrono::steady_clock::now();
  RunMainLoop();
  EXPECT_EQ(measurementState.measurementThread, second);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50))
      << "the main loop waited for the running sweep";
  EXPECT_TRUE(RunUntilSweepNoticed());
}

}  // namespace
