// Loaded latency: the kernels the loaders use and on which blocks, where the curve ends, and real
// points and a real curve on two of this machine's processors.
#include "survey/loaded_latency.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/survey/processors.h"
#include "probe/clock.h"
#include "survey/placement.h"

TEST(LoadedLatency, WidestKernelsAndTheCurvesEnd) {
  const struct { uint32_t isas; const char *read, *write, *copy; } kernelRows[] = {
      {IsaMmx, "ReadMmx", "WriteMmxNonTemporal", "CopyMmxNonTemporal"},
      // Prefetching reads and the string routines are never taken; a non-temporal copy beats a temporal one as wide.
      {IsaMmx | IsaSse | IsaSse2 | IsaRep, "ReadSse", "WriteSseNonTemporal", "CopySseNonTemporal"},
#ifdef LORVANTA_HAVE_WIDE_KERNELS
      {kAllIsas, "ReadAvx512", "WriteAvx512NonTemporal", "CopyAvx512NonTemporal"},
#endif
  };
  for (const auto& row : kernelRows) {
    const LoadedKernels kernels = ChooseLoadedKernels(row.isas);
    ASSERT_TRUE(kernels.read && kernels.write && kernels.copy) << row.isas;
    EXPECT_STREQ(kernels.read->name, row.read);
    EXPECT_STREQ(kernels.write->name, row.write);
    EXPECT_STREQ(kernels.copy->name, row.copy);
  }
  // Which kernel moves each block of 4 KiB: the mix reads two and writes the third.
  const LoadedKernels kernels = ChooseLoadedKernels(IsaMmx);
  const struct { LoadedTraffic traffic; uint64_t block; const SurveyKernel* kernel; } blockRows[] = {
      {TrafficMix, 0, kernels.read},  {TrafficMix, 1, kernels.read},    {TrafficMix, 2, kernels.write},
      {TrafficMix, 3, kernels.read},  {TrafficMix, 5, kernels.write},   {TrafficRead, 2, kernels.read},
      {TrafficWrite, 0, kernels.write}, {TrafficCopy, 1, kernels.copy}};
  for (const auto& row : blockRows)
    EXPECT_EQ(LoadedBlockKernel(row.traffic, row.block, kernels), row.kernel) << row.traffic << " " << row.block;
  // Bandwidths so far, and whether the curve ends after the last: below 5% of the highest, not at 5%.
  const struct { std::vector<uint64_t> rates; bool ends; } endRows[] = {
      {{}, false},           {{100}, false},      {{100, 5}, false},
      {{100, 4}, true},      {{100, 200, 9}, true}, {{100, 200, 10}, false},
      {{UINT64_MAX, UINT64_MAX / 2}, false},
  };
  for (const auto& row : endRows) EXPECT_EQ(LoadedCurveEnds(row.rates), row.ends) << row.rates.size();
  uint32_t delay = 0;
  for (uint32_t next : {16u, 32u, 64u, 128u}) EXPECT_EQ(delay = NextLoadedDelay(delay), next);
}

TEST(LoadedLatency, RealPointsAndCurveOnTwoProcessors) {
  MachineLayout layout;
  ThreadPlacement placement;
  std::string error;
  if (!ReadMachineLayout(&layout, &error) || !PlaceThreads(layout, 2, &placement, &error))
    GTEST_SKIP() << "loaded latency needs two processors: " << error;
  LoadedLatencySetup setup{{}, 4u << 20, false, 64, 0, MeasureClockFrequency(),
                           ChooseLoadedKernels(SurveyIsasOf(DetectIsaSupport())), 1u << 20};
  for (const ThreadPlace& place : placement.threads) setup.processors.push_back(place.processor);
  setup.minTicks = setup.tscHz / 100;  // 10 ms
  for (LoadedTraffic traffic : {TrafficRead, TrafficWrite, TrafficCopy, TrafficMix}) {
    LoadedLatencyCurve idle, slowed;
    ASSERT_EQ(MeasureLoadedLatencyPoint(setup, traffic, 0, nullptr, nullptr, &idle, &error), LoadedMeasured) << error;
    ASSERT_EQ(MeasureLoadedLatencyPoint(setup, traffic, 4096, nullptr, nullptr, &slowed, &error), LoadedMeasured);
    ASSERT_EQ(idle.points.size() + slowed.points.size(), 2u);
    const LoadedLatencyPoint &first = idle.points[0], &last = slowed.points[0];
    EXPECT_TRUE(first.bytesPerSecond > 0 && first.latencyPicoseconds > 0 && last.latencyPicoseconds > 0) << traffic;
    EXPECT_LT(last.bytesPerSecond, first.bytesPerSecond) << traffic;
    // The delay measured, in hundredths of cycles: near the additions asked for (on a shared machine, whose
    // clock wanders between the chain that times it and the delays, within a factor of two).
    EXPECT_TRUE(first.delayCyclesHundredths == 0 && last.delayCyclesHundredths > 4096 * 50 &&
                last.delayCyclesHundredths < 4096 * 200) << last.delayCyclesHundredths;
    EXPECT_EQ(idle.threads * idle.bufferBytes, uint64_t{2} * setup.bufferBytes);
  }
  // The curve doubles its delay until the bandwidth has fallen below 5% of its highest, and stops there.
  LoadedLatencyCurve curve;
  ASSERT_EQ(MeasureLoadedLatencyCurve(setup, TrafficRead, nullptr, nullptr, &curve, &error), LoadedMeasured) << error;
  std::vector<uint64_t> rates;
  for (size_t i = 0; i < curve.points.size(); ++i) {
    EXPECT_EQ(curve.points[i].delayCycles, i == 0 ? 0u : 8u << i);
    EXPECT_FALSE(LoadedCurveEnds(rates)) << i;
    rates.push_back(curve.points[i].bytesPerSecond);
  }
  EXPECT_TRUE(LoadedCurveEnds(rates)) << rates.size();
  EXPECT_GT(curve.idleLatencyPicoseconds, 0u);
  // A list of delays is followed as given, whatever the bandwidth does.
  setup.delays = {0, 4096, 64};
  ASSERT_EQ(MeasureLoadedLatencyCurve(setup, TrafficMix, nullptr, nullptr, &curve, &error), LoadedMeasured) << error;
  ASSERT_EQ(curve.points.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(curve.points[i].delayCycles, setup.delays[i]);
  setup.delays.clear();
  // The progress call stops the curve before its second point (after one, the curve cannot have ended).
  const auto beforeSecond = [](const LoadedLatencyProgress& where, void*) { return where.pointsDone < 1; };
  ASSERT_EQ(MeasureLoadedLatencyCurve(setup, TrafficRead, beforeSecond, nullptr, &curve, &error), LoadedStopped)
      << curve.points.size() << " " << (curve.points.empty() ? 0 : curve.points[0].bytesPerSecond);
  EXPECT_EQ(curve.points.size(), 1u);
}
