// The survey's threads: started together, every member measured, ended
// cleanly, and a team that cannot be bound leaves nothing running.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "survey/team.h"

TEST(SurveyTeam, AggregateCountsAllBytesFromFirstStartToLastEnd) {
  const TimedSpan spans[] = {{1000, 100, 600}, {3000, 200, 1100}, {500, 150, 900}};
  bool longEnough = false;
  EXPECT_EQ(AggregateRate(spans, 3, 1000, 500, &longEnough), 4500u);  // 4500 bytes over 1000 ticks at 1 kHz
  EXPECT_TRUE(longEnough);
  EXPECT_EQ(AggregateRate(spans, 3, 1000, 600, &longEnough), 4500u);
  EXPECT_FALSE(longEnough) << "the first member ran only 500 ticks";
  EXPECT_EQ(AggregateRate(spans, 1, 2000, 1, &longEnough), 4000u);
  EXPECT_EQ(AggregateRate(spans, 0, 2000, 1, &longEnough), 0u);
  EXPECT_FALSE(longEnough);
}

namespace {
std::atomic<uint64_t> calls{0};
std::atomic<uint64_t> threadsSeen{0};
thread_local bool seen = false;
void CountingRead(const void*, uint32_t) {
  if (!seen) {
    seen = true;
    threadsSeen.fetch_add(1);
  }
  calls.fetch_add(1);
}
const SurveyKernel countingKernel = {"CountingRead", GroupRead, IsaSse2, 64, CountingRead, nullptr, nullptr};
}  // namespace

TEST(SurveyTeam, EveryMemberMeasuresAndTheTeamEnds) {
  std::string error;
  ASSERT_TRUE(StartSurveyTeam(3, nullptr, 1 << 16, false, &error)) << error;
  const TimingRule rule{20000, 3, 1000000000};
  for (int job = 0; job < 2; ++job) EXPECT_GT(MeasureTeamRate(countingKernel, 4096, rule), 0u);
  StopSurveyTeam();
  EXPECT_EQ(threadsSeen.load(), 3u);
  EXPECT_GE(calls.load(), 2u * 3u * (1 + 3));  // per job and member: the untimed call and three measurements
}

TEST(SurveyTeam, AnUnbindableMemberStopsTheWholeTeam) {
  const std::vector<uint32_t> processors = {0, 1u << 20};
  std::string error;
  EXPECT_FALSE(StartSurveyTeam(2, &processors, 1 << 16, false, &error));
  EXPECT_NE(error.find("1048576"), std::string::npos) << error;
  // Nothing is left: a new team starts and ends.
  ASSERT_TRUE(StartSurveyTeam(2, nullptr, 1 << 16, false, &error)) << error;
  StopSurveyTeam();
}
