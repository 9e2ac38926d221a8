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
#include "probe/processor.h"
#include "record/state.h"
#include "tests/support/state_reset.h"

namespace {
std::vector<std::pair<void*, std::thread::id>> deliveries;  // window, thread
int windowA = 0, windowB = 0;

void RunMainLoop() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

void PostFromAnotherThread(void* window) {
  std::thread([window] { PostMeasurementNotice(window); }).join();  // returns before the main loop runs
}

TEST(MeasurementNotice, ArrivesOnTheMainThreadOnceUnlessDropped) {
  SetMeasurementNoticeHandler([](void* window) { deliveries.emplace_back(window, std::this_thread::get_id()); });
  PostFromAnotherThread(&windowA);
  PostFromAnotherThread(&windowB);
  EXPECT_TRUE(deliveries.empty());
  RunMainLoop();
  RunMainLoop();  // delivered once
  ASSERT_EQ(deliveries.size(), 2u);
  EXPECT_TRUE(deliveries[0].first == &windowA && deliveries[1].first == &windowB);
  EXPECT_EQ(deliveries[0].second, std::this_thread::get_id());

  deliveries.clear();
  PostFromAnotherThread(&windowA);
  PostFromAnotherThread(&windowA);
  DropMeasurementNotices();
  PostFromAnotherThread(&windowB);  // a later one still arrives
  RunMainLoop();
  EXPECT_EQ(deliveries.size(), 1u);
  SetMeasurementNoticeHandler(nullptr);
}

WindowPort port = {&windowA};  // what a stop and a notice use

// With real sweeps: a sweep that ended and posted its notice just before a
// stop must not end the sweep started after it.
TEST(MeasurementNotice, AStaleNoticeDoesNotEndTheNextSweep) {
  ResetMeasurementStateForTest();
  ProbeProcessor();
  measurementState.testAreaSize = 0x100000;
  measurementState.blockStep = 16384;
  measurementState.repeatCount = 2;
  AllocateTestBuffers();
  ResetResultArrays();
  port.Invalidate = [](void*) {};
  port.DiscardMeasurementNotices = [](void*) { DropMeasurementNotices(); };
  SetMeasurementNoticeHandler([](void*) { WindowMeasurementDone(port); });
  WindowTimer(port, IDT_MEASUREMENT);
  ASSERT_NE(measurementState.measurementThread, 0);
  // Let the sweep finish and post its notice while the main loop stands still.
  for (int i = 0; i < 3000 && LoadWhole(&measurementState.readRates[BlockCount() - 1]) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  StopSweep(port);  // as a structural change does
  WindowTimer(port, IDT_MEASUREMENT);
  const intptr_t second = measurementState.measurementThread;
  ASSERT_NE(second, 0);
  // The stale notice would come out of the queue now; the running sweep
  // stays registered (measuring the clock alone takes 100 ms).
  const auto before = std::chrono::steady_clock::now();
  RunMainLoop();
  EXPECT_EQ(measurementState.measurementThread, second);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(50)) << "the main loop waited";
  for (int i = 0; i < 3000 && measurementState.measurementThread != 0; ++i) {
    RunMainLoop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(measurementState.measurementThread, 0) << "the second sweep's notice arrived";
  SetMeasurementNoticeHandler(nullptr);
  ReleaseTestBuffers();
}
}  // namespace
