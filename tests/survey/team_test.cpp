// The survey's threads: started together, every member measured, ended
// cleanly, and a team that cannot be bound leaves nothing running.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

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
  EXPECT_NE(error.find("1048576"), std::string::npos) << error;
  ASSERT_TRUE(StartSurveyTeam(2, nullptr, 1 << 16, false, &error)) << error;  // nothing was left running
  StopSurveyTeam();
}
