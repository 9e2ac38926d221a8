// The survey's arithmetic: lengths, sizes, rates, level windows and figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <set>
#include <functional>

#include "display/exact_arithmetic.h"
#include "platform/survey/memory.h"
#include "probe/isa.h"
#include "survey/lengths.h"
#include "survey/levels.h"
#include "survey/survey.h"
#include "survey/timing.h"

TEST(SurveyArithmetic, MulDivWideIsExactBeyond64Bits) {
  // a, b, divisor, a * b / divisor; the fourth row is 256 MiB x 1000 calls over 13 ms, the last a quotient
  // beyond 64 bits.
  const uint64_t rows[][4] = {{7, 3, 2, 10}, {uint64_t{1} << 40, uint64_t{1} << 40, uint64_t{1} << 30, uint64_t{1} << 50},
      {UINT64_MAX, UINT64_MAX, UINT64_MAX, UINT64_MAX}, {268435456ull * 1000, 2445000000ull, 13000000ull, 50486514609230ull},
      {5, 5, 0, UINT64_MAX}, {UINT64_MAX, 3, 6, UINT64_MAX / 2}, {UINT64_MAX, (uint64_t{1} << 63) + 1, UINT64_MAX, (uint64_t{1} << 63) + 1},
      {uint64_t{1} << 63, 4, 2, UINT64_MAX}};
  for (const auto& row : rows) EXPECT_EQ(MulDivWide(row[0], row[1], row[2]), row[3]) << row[0] << " " << row[1];
}

TEST(SurveyArithmetic, CallsGrowUntilAMeasurementLastsTheMinimum) {
  // calls, ticks, minimum, next calls: with an eighth to spare, never stuck on the same count while short.
  const uint64_t rows[][4] = {{1, 100, 100000, 1125}, {1000, 200000, 100000, 1000}, {10, 0, 100, 20}, {3, 99, 100, 4}, {0, 500, 100, 1}};
  for (const auto& row : rows) EXPECT_EQ(CallsForMinimum(row[0], row[1], row[2]), row[3]) << row[0] << " " << row[1];
}

TEST(SurveyLengths, GeometricRoundedAndEndingAtTheLargest) {
  const std::vector<uint64_t> lengths = SurveyLengths(uint64_t{64} << 20, 8);
  ASSERT_EQ(lengths.size(), 15u * 8 + 1);
  EXPECT_TRUE(lengths.front() == 2048 && lengths.back() == uint64_t{64} << 20);
  for (size_t i = 1; i < lengths.size(); ++i)  // multiples of 128, rising by at most 2^(1/8) = 1.0905
    EXPECT_TRUE(lengths[i] % 128 == 0 && lengths[i] > lengths[i - 1] && lengths[i] * 1000 <= lengths[i - 1] * 1091 + 128000) << i;
  EXPECT_TRUE(lengths[8] == 4096 && lengths[4] == 2944);  // 2048 * 2^(1/2) = 2896.3, to the nearest 128
  // Dense points near 2 KiB round onto the same multiple: no duplicates.
  const std::vector<uint64_t> dense = SurveyLengths(8192, 64);  // 2 KiB .. 8 KiB in steps of 128
  EXPECT_TRUE(dense.size() == 49u && std::adjacent_find(dense.begin(), dense.end(), std::greater_equal<uint64_t>()) == dense.end());
  EXPECT_EQ(SurveyLengths(3000, 1), (std::vector<uint64_t>{2048, 2944}));
  EXPECT_TRUE(SurveyLengths(2047, 8).empty() && SurveyLengths(1 << 20, 0).empty());
}

TEST(SurveyLevels, WindowsMediansAndWhyAWindowIsEmpty) {
  // Three threads over two L3 instances: shares of 16 and 32 MiB; the window
  // lies clear of the largest share below and the smallest share of its own.
  const LevelShare caches[] = {{32768, 32768}, {524288, 524288}, {16777216, 33554432}};
  const std::vector<LevelWindow> windows = LevelWindows(caches, 3);
  const std::vector<uint64_t> bounds = {0, 16384, 65536, 262144, 1048576, 8388608, 268435455, 0};
  ASSERT_EQ(windows.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(windows[i].low == bounds[2 * i] && windows[i].high == bounds[2 * i + 1]) << i;
  // The median of the rates inside (low, high]; the kernel of the lower middle.
  const std::vector<uint64_t> lengths = {2048, 8192, 16384, 16512, 65536, 131072, 262144, 268435456}, rates = {90, 50, 70, 999, 5, 40, 30, 7};
  const std::vector<uint32_t> kernels = {1, 2, 3, 4, 5, 6, 7, 8};
  const LevelFigure l1 = FigureInWindow(lengths, rates, kernels, windows[0]);
  EXPECT_TRUE(l1.present && l1.rate == 70 && l1.kernel == 3 && l1.lengthCount == 3);
  const LevelFigure l2 = FigureInWindow(lengths, rates, kernels, windows[1]);  // 40 and 30: 65536 is outside
  EXPECT_TRUE(l2.rate == 35 && l2.kernel == 7);
  EXPECT_TRUE(FigureInWindow(lengths, rates, kernels, windows[3]).rate == 7u && !FigureInWindow(lengths, rates, kernels, windows[2]).present);

  // Why a window holds no length, and the largest length that would reach it.
  const LevelShare close[] = {{32768, 32768}, {98304, 98304}};
  const struct { LevelWindow window; uint64_t largest; LevelAbsence absence; uint64_t needed; } absences[] = {
      {windows[3], uint64_t{64} << 20, BeyondLargest, uint64_t{256} << 20}, {windows[2], 65536, BeyondLargest, 8 << 20},
      {LevelWindows(close, 2)[1], uint64_t{1} << 30, LevelTooClose, 0}, {LevelWindow{100000, 110000}, uint64_t{1} << 30, SteppedOver, 0},
      {LevelWindows(nullptr, 0)[0], uint64_t{1} << 30, NoCacheSizes, 0}, {LevelWindow{0, 1024}, uint64_t{1} << 30, BelowFirstLength, 0}};
  for (const auto& row : absences) {
    const WhyAbsent why = WhyNoFigure(row.window, row.largest);
    EXPECT_TRUE(why.absence == row.absence && why.neededSize == row.needed) << row.window.low << " " << row.window.high;
  }

  // The CSV's level of a length: its window, or the two it lies between.
  const std::vector<std::string> names = {"L1", "L2", "L3", "memory"};
  const std::pair<uint64_t, const char*> levelRows[] = {{2048, "L1"}, {16512, "L1-L2"}, {65536, "L1-L2"}, {131072, "L2"},
      {524288, "L2-L3"}, {8388608, "L3"}, {16777216, "L3-memory"}, {268435456, "memory"}};
  for (const auto& row : levelRows) EXPECT_EQ(LevelOfLength(windows, names, row.first), row.second) << row.first;
}

// Each pass's figure alone: the median over the window of that pass's best
// kernel per length; the figure itself comes from each kernel's best pass.
TEST(SurveyLevels, SpreadOverPassesComesFromEachPassAlone) {
  SurveyRun run;
  run.kernels = {0, 2};  // two read kernels
  run.lengths = {4096, 8192, 65536};
  run.passes = 3;
  run.placement.shares = {{32768, 32768}};
  // [pass][kernel][length]; 65536 lies outside the L1 window (0, 16 KiB].
  run.passRates = {100, 80, 9, 90, 120, 9,   60, 50, 9, 70, 40, 9,   100, 100, 9, 100, 100, 9};
  ComputeSurveyLevels({SurveyCache{"L1", 1, 32768, 64, 1}}, run);
  const LevelFigure& read = run.levels[0].figures[GroupRead];
  // Per pass: medians of {100, 120}, {70, 50}, {100, 100}; the figure: of {100, 120}.
  EXPECT_TRUE(read.present && read.rate == 110 && read.lowest == 60 && read.highest == 110) << read.lowest << " " << read.highest;
  EXPECT_EQ(run.levels[1].name, "memory");
}

// Every line a write or copy kernel stores through the timing path, call
// after call, holds ordinary data: no zero byte and more than one value
// (rep stosb: one non-zero byte). A wide kernel ends with vzeroupper, so a
// register fill made once would leave zeros in the lines of the second call.
TEST(SurveyTiming, EveryStoredLineHoldsVariedNonZeroBytes) {
  const uint32_t supported = SurveyIsasOf(DetectIsaSupport());
  const uint64_t length = 16384;
  uint8_t* source = static_cast<uint8_t*>(CommitSurveyBuffer(length, false));
  uint8_t* destination = static_cast<uint8_t*>(CommitSurveyBuffer(length, false));
  ASSERT_TRUE(source != nullptr && destination != nullptr);
  std::string skipped;
  for (uint32_t i = 0; i < surveyKernelCount; ++i) {
    const SurveyKernel& kernel = surveyKernels[i];
    if (kernel.group == GroupRead) continue;
    if ((supported & kernel.isa) == 0) {
      skipped += std::string(" ") + kernel.name;
      continue;
    }
    std::memset(destination, 0, length);
    TimeKernelCalls(kernel, source, destination, length, 2);
    const size_t leastValues = kernel.isa == IsaRep && kernel.group == GroupWrite ? 1 : 2;
    for (uint64_t line = 0; line < length; line += 64) {
      const std::set<uint8_t> values(destination + line, destination + line + 64);
      ASSERT_TRUE(values.count(0) == 0 && values.size() >= leastValues) << kernel.name << " line " << line;
    }
  }
  ReleaseSurveyBuffer(source, length);
  ReleaseSurveyBuffer(destination, length);
  if (!skipped.empty()) std::printf("not run, this processor lacks their instruction set:%s\n", skipped.c_str());
}

namespace {
// Raises the stop request in the progress call numbered raiseAt (0: it was raised before the run).
struct StopAt {
  std::atomic<bool>* stop;
  uint32_t raiseAt, calls;
};
bool RaiseStopAt(const SurveyProgress&, void* context) {
  StopAt& at = *static_cast<StopAt*>(context);
  if (++at.calls == at.raiseAt) at.stop->store(true);
  return true;
}
}  // namespace

// A stop raised before a run, or just before its first measurement, ends the
// run and the latency as stopped, keeping nothing and calling progress no more.
TEST(SurveyStop, RaisedBeforeTheRunOrItsFirstMeasurementKeepsNothing) {
  std::atomic<bool> stop{false};
  SurveyRecord record;
  record.settings = SurveySettings{8192, 1, 1000, 2, false, IsaSse2, true, &stop};
  record.machine.supportedIsas = SurveyIsasOf(DetectIsaSupport());
  record.machine.tscHz = 1000000000;
  const SurveyPlan plan = PlanSurvey(record.settings, record.machine);  // several kernels and lengths
  const struct { bool latency; uint32_t raiseAt; } rows[] = {{false, 0}, {false, 1}, {true, 0}, {true, 1}};
  for (const auto& row : rows) {
    stop.store(row.raiseAt == 0);
    StopAt at{&stop, row.raiseAt, 0};
    SurveyRun run;
    run.threads = 99;
    std::string error;
    const SurveyOutcome outcome =
        row.latency ? MeasureSurveyLatency(record, plan, SurveyPlacement(), RaiseStopAt, &at, &record.latency, &error)
                    : MeasureSurveyRun(record, plan, SurveyPlacement(), RaiseStopAt, &at, &run, &error);
    EXPECT_TRUE(outcome == SurveyStopped && at.calls == row.raiseAt && run.threads == 99 && !record.latency.measured)
        << (row.latency ? "latency" : "run") << ", raised at " << row.raiseAt << ": outcome " << outcome << ", "
        << at.calls << " progress calls " << error;
  }
}
