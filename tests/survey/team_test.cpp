// The survey's threads: started together, every member measured, ended
// cleanly, and a team that cannot be bound or whose thread cannot start
// leaves nothing running.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#ifdef __linux__
#include <pthread.h>
#include <sys/resource.h>

#include <fstream>
#endif

#include "survey/team.h"

TEST(SurveyTeam, AggregateCountsAllBytesFromFirstStartToLastEnd) {
  const TimedSpan spans[] = {{1000, 100, 600}, {3000, 200, 1100}, {500, 150, 900}};
  // 4500 bytes over 1000 ticks at 1 kHz; too short, as the first member ran only 500 ticks.
  const struct { uint32_t count; uint64_t hz, minTicks, rate; bool longEnough; } rows[] = {
      {3, 1000, 500, 4500, true}, {3, 1000, 600, 4500, false}, {1, 2000, 1, 4000, true}, {0, 2000, 1, 0, false}};
  for (const auto& row : rows) {
    bool longEnough = !row.longEnough;
    EXPECT_TRUE(AggregateRate(spans, row.count, row.hz, row.minTicks, &longEnough) == row.rate && longEnough == row.longEnough) << row.count << " " << row.minTicks;
  }
}

namespace {
std::atomic<uint64_t> calls{0}, threadsSeen{0};
thread_local bool seen = false;
void CountingRead(const void*, uint32_t) {
  if (!seen) seen = true, threadsSeen.fetch_add(1);
  calls.fetch_add(1);
}
}  // namespace

TEST(SurveyTeam, EveryMemberMeasuresAndAnUnbindableMemberStopsTheWholeTeam) {
  const SurveyKernel countingKernel = {"CountingRead", GroupRead, IsaSse2, 64, CountingRead, nullptr, nullptr};
  std::string error;
  ASSERT_TRUE(StartSurveyTeam(3, nullptr, 1 << 16, false, &error)) << error;
  for (int job = 0; job < 2; ++job) EXPECT_GT(MeasureTeamRate(countingKernel, 4096, TimingRule{20000, 1000000000}), 0u);
  // Every member measures its own core clock (a chain of additions: some MHz at least).
  const std::vector<uint64_t> clocks = MeasureTeamCoreClocks(&countingKernel, 1000000000);
  EXPECT_TRUE(clocks.size() == 3 && std::all_of(clocks.begin(), clocks.end(), [](uint64_t hz) { return hz > 10000000; }));
  StopSurveyTeam();
  EXPECT_EQ(threadsSeen.load(), 3u);
  EXPECT_GE(calls.load(), 2u * 3u * (1 + 1));  // per job and member: the untimed call and a measurement

  const std::vector<uint32_t> processors = {0, 1u << 20};
  EXPECT_FALSE(StartSurveyTeam(2, &processors, 1 << 16, false, &error));
  EXPECT_TRUE(error.find("1048576") != std::string::npos && SurveyTeamBindingFailed()) << error;
  ASSERT_TRUE(StartSurveyTeam(2, nullptr, 1 << 16, false, &error)) << error;  // nothing was left running
  StopSurveyTeam();
}

namespace {
// Touches no memory, so a long length costs nothing but the sleep.
void SleepingRead(const void*, uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }
}  // namespace

// A stop raised 50 ms into a measurement meant to last seconds ends it on
// every member within a second, measuring nothing; the team measures again
// afterwards. A stop raised before the start ends the buffers' first touch.
TEST(SurveyTeam, AStopEndsTheMeasurementOnEveryMemberAndTheStart) {
  const SurveyKernel sleepingKernel = {"SleepingRead", GroupRead, IsaSse2, 64, SleepingRead, nullptr, nullptr};
  std::atomic<bool> stop{false};
  std::string error;
  ASSERT_TRUE(StartSurveyTeam(3, nullptr, 1 << 16, false, &error, &stop)) << error;
  const auto start = std::chrono::steady_clock::now();
  std::thread raiser([&stop] { std::this_thread::sleep_for(std::chrono::milliseconds(50)), stop.store(true); });
  const uint64_t stopped = MeasureTeamRate(sleepingKernel, kStopLookBytes, TimingRule{5000000000u, 1000000000}, &stop);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  raiser.join();
  EXPECT_TRUE(stopped == 0 && elapsed < std::chrono::seconds(1))
      << stopped << " after " << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
  stop.store(false);
  EXPECT_GT(MeasureTeamRate(sleepingKernel, kStopLookBytes, TimingRule{1, 1000000000}, &stop), 0u);
  StopSurveyTeam();

  stop.store(true);
  EXPECT_FALSE(StartSurveyTeam(2, nullptr, kStopLookBytes, false, &error, &stop));
  EXPECT_TRUE(error.find("stopped") != std::string::npos && !SurveyTeamBindingFailed()) << error;
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {
uint64_t AddressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  std::string word;
  uint64_t kib = 0;
  while (status >> word)
    if (word == "VmSize:" && status >> kib) break;
  return kib << 10;
}
}  // namespace

// Thread stacks of 1 GiB in an address space with room for two more: the
// fourth member cannot start, the two already waiting for the team end, and a
// team starts again afterwards. (The sanitizers map memory of their own.)
TEST(SurveyTeam, AThreadThatCannotStartEndsTheMembersAlreadyStarted) {
  pthread_attr_t defaults, large;
  ASSERT_EQ(pthread_getattr_default_np(&defaults), 0);
  ASSERT_EQ(pthread_attr_init(&large), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&large, size_t{1} << 30), 0);
  rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_AS, &before), 0);
  rlimit tight = before;
  tight.rlim_cur = AddressSpaceBytes() + (uint64_t{5} << 29);
  ASSERT_EQ(pthread_setattr_default_np(&large), 0);
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  std::string error;
  const bool started = StartSurveyTeam(4, nullptr, 1 << 16, false, &error);
  setrlimit(RLIMIT_AS, &before);
  pthread_setattr_default_np(&defaults);
  pthread_attr_destroy(&large);
  pthread_attr_destroy(&defaults);
  if (started) StopSurveyTeam();
  EXPECT_FALSE(started);
  EXPECT_EQ(error.rfind("cannot start thread 4 of 4: ", 0), 0u) << error;
  EXPECT_FALSE(SurveyTeamBindingFailed());
  ASSERT_TRUE(StartSurveyTeam(4, nullptr, 1 << 16, false, &error)) << error;
  StopSurveyTeam();
}
#endif
