// The sweep's order of tests, pass counts, stores and refusals, with recording
// kernels; then real sweeps, stopped at random moments.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "measure/state.h"
#include "measure/sweep.h"
#include "measure/sweep_run.h"
#include "probe/processor.h"
#include "tests/support/notify_counter.h"
#include "tests/support/state_reset.h"

TEST(PassRate, WorkedPasses) {
  const uint64_t clock = 2000000000, overhead = 40, scaled = 2048ull * 1000000000;
  EXPECT_EQ(PassRate(240, overhead, clock, scaled), 20480000000u);   // 200 ticks, 100 ns
  EXPECT_EQ(PassRate(373, overhead, clock, scaled), 12337349397u);   // 333 ticks, 166 ns
  EXPECT_EQ(PassRate(41, overhead, clock, scaled), 2048000000000u);  // 0 ns counts as 1
  EXPECT_EQ(PassRate(30, overhead, clock, scaled), 222u);            // wraps below the overhead
  EXPECT_EQ(PassRate(40, overhead, clock, scaled), scaled);          // exactly the overhead
}

namespace {
struct Call {
  std::string kernel;
  const void* first;
  const void* second;
  uint32_t length;
};
std::vector<Call> calls;
// Runs inside a kernel call, for tests that look at the state mid-sweep.
std::function<void(const std::string&, uint32_t)> duringCall;
// The time-stamp counter the sweep reads: each call of EmptyKernel adds 40
// ticks (540 the 50th, so the overhead is 2500 / 50 = 50), each call of a
// kernel the next of its entries in passTicks.
uint64_t counterNow = 0;
int emptyCalls = 0;
std::map<std::string, std::vector<uint64_t>> passTicks;

void Record(const char* kernel, const void* first, const void* second, uint32_t length) {
  calls.push_back({kernel, first, second, length});
  std::vector<uint64_t>& ticks = passTicks[kernel];
  if (!ticks.empty()) {
    counterNow += ticks.front();
    ticks.erase(ticks.begin());
  }
  if (duringCall) duringCall(kernel, length);
}

struct RecordingKernels {
  static uint64_t clockToReport;
  static uint64_t Clock() { return clockToReport; }
  static uint64_t Counter() { return counterNow; }
  static void EmptyKernel() { counterNow += ++emptyCalls == 50 ? 540 : 40; }
  static void WarmCache(const void* p, uint32_t n) { Record("WarmCache", p, nullptr, n); }
  static void TouchBuffer(void* p, uint32_t n) { Record("TouchBuffer", p, nullptr, n); }
#define READ(name) \
  static void name(const void* p, uint32_t n) { Record(#name, p, nullptr, n); }
#define WRITE(name) \
  static void name(void* p, uint32_t n) { Record(#name, p, nullptr, n); }
#define COPY(name) \
  static void name(const void* s, void* d, uint32_t n) { Record(#name, s, d, n); }
  READ(ReadMmx) READ(ReadMmxPrefetch) READ(ReadSse) READ(ReadSsePrefetch) READ(ReadSse2) READ(ReadSse2Prefetch)
  WRITE(WriteMmx) WRITE(WriteMmxNonTemporal) WRITE(WriteSse) WRITE(WriteSseNonTemporal) WRITE(WriteSse2)
  WRITE(WriteSse2NonTemporal)
  COPY(CopyMmx) COPY(CopyMmxNonTemporal) COPY(CopySseNonTemporal) COPY(CopySse2)
#undef READ
#undef WRITE
#undef COPY
};
uint64_t RecordingKernels::clockToReport = 2000000000;

// Kernel names of one block's calls, warm-ups included, passes collapsed to
// "name*count".
std::vector<std::string> Collapsed(const std::vector<Call>& blockCalls) {
  std::vector<std::string> out;
  int count = 0;
  for (size_t i = 0; i < blockCalls.size(); ++i) {
    ++count;
    if (i + 1 == blockCalls.size() || blockCalls[i + 1].kernel != blockCalls[i].kernel ||
        blockCalls[i].kernel == "WarmCache") {
      out.push_back(blockCalls[i].kernel + (count > 1 ? "*" + std::to_string(count) : ""));
      count = 0;
    }
  }
  return out;
}

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    calls.clear();
    duringCall = nullptr;
    counterNow = 0;
    emptyCalls = 0;
    passTicks.clear();
    RecordingKernels::clockToReport = 2000000000;
    measurementState.testAreaSize = 1048576;
    measurementState.blockStep = 16384;
    AllocateTestBuffers();
    ResetResultArrays();
  }
  void TearDown() override {
    duringCall = nullptr;
    ReleaseTestBuffers();
    ResetMeasurementStateForTest();
  }
  // The calls of one block; a warm-up belongs to the block of the kernel after it.
  std::vector<Call> CallsOfBlock(uint32_t length) {
    std::vector<Call> block;
    for (size_t i = 0; i < calls.size(); ++i) {
      size_t next = i;
      while (next < calls.size() && (calls[next].kernel == "WarmCache" || calls[next].kernel == "TouchBuffer")) ++next;
      if (next < calls.size() && calls[next].length == length) block.push_back(calls[i]);
    }
    return block;
  }
};
}  // namespace

TEST_F(Sweep, WithoutSseOnlyTheMmxTestsRun) {
  measurementState.repeatCount = 2;
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  const std::vector<std::string> expected = {
      "WarmCache", "ReadMmx*2",   "WarmCache", "ReadMmxPrefetch*2", "TouchBuffer", "WriteMmx*2",
      "WriteMmxNonTemporal*2",    "WarmCache", "CopyMmxNonTemporal*2", "WarmCache", "CopyMmx*2"};
  EXPECT_EQ(Collapsed(CallsOfBlock(2048)), expected);
  size_t passes = 0;
  for (const Call& call : CallsOfBlock(2048))
    if (call.kernel != "WarmCache" && call.kernel != "TouchBuffer") ++passes;
  EXPECT_EQ(passes, 12u);
}

TEST_F(Sweep, AllSeventeenTestsInOrderWithTheirWarmUpsAndArguments) {
  measurementState.hasSse = measurementState.hasSse2 = true;
  measurementState.repeatCount = 2;  // fast mode: test 10 still runs 10 passes
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  const std::vector<std::string> expected = {
      "WarmCache", "ReadMmx*2", "WarmCache", "ReadMmxPrefetch*2", "WarmCache", "ReadSse2Prefetch*2",
      "WarmCache", "ReadSse2*2", "WarmCache", "ReadSse*2", "WarmCache", "ReadSsePrefetch*2",
      "TouchBuffer", "WriteMmx*2", "WriteMmxNonTemporal*2", "WriteSse2NonTemporal*2", "WriteSse2*10",
      "WriteSseNonTemporal*2", "WriteSse*2",
      "WarmCache", "CopyMmxNonTemporal*2", "WarmCache", "CopyMmx*2", "WarmCache", "CopySse2*2",
      "WarmCache", "CopySse2*2", "WarmCache", "CopySseNonTemporal*2"};
  const uint32_t lastLength = BlockLength(BlockCount() - 1);
  EXPECT_EQ(Collapsed(CallsOfBlock(2048)), expected);
  EXPECT_EQ(Collapsed(CallsOfBlock(lastLength)), expected);

  for (const Call& call : calls) {
    if (call.kernel == "WarmCache") {
      EXPECT_EQ(call.first, measurementState.sourceBuffer);
      EXPECT_EQ(call.length, measurementState.l2CacheSize);
    } else if (call.kernel == "TouchBuffer" || call.kernel.compare(0, 5, "Write") == 0) {
      EXPECT_EQ(call.first, measurementState.destinationBuffer) << call.kernel;
    } else {
      EXPECT_EQ(call.first, measurementState.sourceBuffer) << call.kernel;
      if (call.kernel.compare(0, 4, "Copy") == 0) {
        EXPECT_EQ(call.second, measurementState.destinationBuffer);
      }
    }
    if (call.kernel == "TouchBuffer") {
      EXPECT_EQ(call.length, measurementState.l2CacheSize);
    }
  }
  // Blocks 2048, 2048 + step, ... in order, each exactly once per test.
  uint32_t expectedLength = 2048;
  for (const Call& call : calls) {
    if (call.kernel != "ReadMmx") continue;
    if (call.length != expectedLength) expectedLength += measurementState.blockStep;
    ASSERT_EQ(call.length, expectedLength);
  }
  EXPECT_EQ(expectedLength, BlockLength(BlockCount() - 1));
}

TEST_F(Sweep, EachGroupKeepsItsFastestPassLessTheMeanOverheadOfFiftyEmptyCalls) {
  measurementState.testAreaSize = 2048 + 16384;  // one block of 2048 bytes
  measurementState.repeatCount = 3;
  // Ticks per pass, overhead included; the fastest pass of each group is
  // neither its first, last nor slowest, and 30 wraps below the overhead.
  passTicks = {{"ReadMmx", {450, 250, 850}},         {"ReadMmxPrefetch", {350, 30, 650}},
               {"WriteMmx", {1050, 650, 1250}},      {"WriteMmxNonTemporal", {850, 1450, 1050}},
               {"CopyMmxNonTemporal", {1250, 850, 1650}}, {"CopyMmx", {2050, 1050, 1850}}};
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  EXPECT_EQ(measurementState.readRates[0], 20480000000u);  // 200 ticks, 100 ns
  EXPECT_EQ(measurementState.writeRates[0], 6826666666u);  // 600 ticks, 300 ns
  EXPECT_EQ(measurementState.copyRates[0], 5120000000u);   // 800 ticks, 400 ns
}

TEST_F(Sweep, RepeatCountIsReadAfreshBeforeEveryPass) {
  // Switching fast mode on in the middle of a test ends it after the passes done.
  int readPasses = 0;
  duringCall = [&](const std::string& kernel, uint32_t length) {
    if (kernel == "ReadMmx" && length == 2048 && ++readPasses == 3) measurementState.repeatCount = 2;
    if (kernel == "CopyMmx" && length == 2048) measurementState.repeatCount = 4;
  };
  RunSweep<RecordingKernels>();
  const std::vector<std::string> block = Collapsed(CallsOfBlock(2048));
  EXPECT_EQ(block[1], "ReadMmx*3");
  EXPECT_EQ(block[3], "ReadMmxPrefetch*2");
  EXPECT_EQ(block[10], "CopyMmx*4");
}

TEST_F(Sweep, ReadBestStandsInAllThreeArraysUntilItsGroupReplacesIt) {
  measurementState.hasSse2 = true;
  for (uint32_t i = 0; i < BlockCount(); ++i) measurementState.readRates[i] = 7;  // the previous sweep's
  std::vector<std::string> failures;
  duringCall = [&](const std::string& kernel, uint32_t length) {
    const uint32_t i = (length - 2048) / measurementState.blockStep;
    if (length < 2048 || length > BlockLength(BlockCount() - 1)) return;
    const uint64_t read = measurementState.readRates[i], write = measurementState.writeRates[i],
                   copy = measurementState.copyRates[i];
    if (kernel == "WriteMmx" && !(read != 0 && write == read && copy == read)) failures.push_back("write " + std::to_string(i));
    if (kernel == "CopyMmx" && !(copy == read && write != 0)) failures.push_back("copy " + std::to_string(i));
    if (kernel == "ReadMmx" && i + 1 < BlockCount() && measurementState.readRates[i + 1] != 7)
      failures.push_back("ahead " + std::to_string(i));
  };
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  EXPECT_TRUE(failures.empty()) << failures.front();
  for (uint32_t i = 0; i < BlockCount(); ++i) {
    EXPECT_NE(measurementState.readRates[i], 0u);
    EXPECT_NE(measurementState.writeRates[i], 0u);
    EXPECT_NE(measurementState.copyRates[i], 0u);
  }
  EXPECT_EQ(measurementState.clockHz, 2000000000u);
}

TEST_F(Sweep, BlockCountIsEvaluatedBeforeEveryBlock) {
  duringCall = [&](const std::string& kernel, uint32_t length) {
    if (kernel == "CopyMmx" && length == 2048 + 2 * 16384) measurementState.testAreaSize = 2048 + 3 * 16384;
  };
  RunSweep<RecordingKernels>();
  EXPECT_EQ(calls.back().length, 2048u + 2 * 16384);  // block 3 is no longer below the count
}

TEST_F(Sweep, RefusesWithoutClockBuffersOrArrays) {
  RecordingKernels::clockToReport = 0;
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepRefused);
  EXPECT_TRUE(calls.empty());

  RecordingKernels::clockToReport = 2000000000;
  ReleaseTestBuffers();
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepRefused);
  AllocateTestBuffers();
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);

  calls.clear();
  std::free(measurementState.copyRates);
  measurementState.copyRates = nullptr;
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepRefused);
  EXPECT_TRUE(calls.empty());

  // Buffers too small for the warm-up of a large second-level cache.
  ResetResultArrays();
  measurementState.l2CacheSize = measurementState.testBufferSize + 64;
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepRefused);
  measurementState.l2CacheSize = 0;
  measurementState.blockStep = 0;  // refused before anything divides by it
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepRefused);
}

// Real sweeps on real kernels ------------------------------------------------

class RealSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    ProbeProcessor();
    measurementState.testAreaSize = 1048576;
    measurementState.blockStep = 16384;
    measurementState.repeatCount = 2;
    AllocateTestBuffers();
    ResetResultArrays();
    while (PollEvent(NotifyEvent())) {
    }
    notifyCount = 0;
  }
  void TearDown() override {
    ReleaseTestBuffers();
    ResetMeasurementStateForTest();
  }
};

TEST_F(RealSweep, FillsEveryEntryAndNotifiesItsWindowOnce) {
  int window = 0;
  ThreadHandle thread = StartThread(MeasurementThread, &window);
  ASSERT_NE(thread, 0u);
  ASSERT_TRUE(WaitEvent(NotifyEvent(), 120000));
  CloseThread(thread);
  EXPECT_EQ(notifyCount.load(), 1);
  EXPECT_EQ(lastNotifiedWindow.load(), &window);
  EXPECT_GT(measurementState.clockHz, 0u);
  for (uint32_t i = 0; i < BlockCount(); ++i) {
    // Plausible rates: above 10 MB/s, below 10 TB/s.
    EXPECT_GT(measurementState.readRates[i], 10000000u) << i;
    EXPECT_LT(measurementState.readRates[i], 10000000000000u) << i;
    EXPECT_GT(measurementState.writeRates[i], 10000000u) << i;
    EXPECT_GT(measurementState.copyRates[i], 10000000u) << i;
  }
}

TEST_F(RealSweep, RefusedSweepStillNotifies) {
  ReleaseTestBuffers();
  ThreadHandle thread = StartThread(MeasurementThread, nullptr);
  ASSERT_TRUE(WaitEvent(NotifyEvent(), 60000));
  CloseThread(thread);
  EXPECT_EQ(notifyCount.load(), 1);
}

TEST_F(RealSweep, StoppedAtRandomMomentsThenResetAtOnce) {
  // The stop returns only when the thread can write nothing more, so the reset
  // that follows may free the arrays it was writing.
  std::mt19937 random(12345);
  measurementState.blockStep = 1024;
  ResetResultArrays();
  for (int round = 0; round < 12; ++round) {
    ThreadHandle thread = StartThread(MeasurementThread, nullptr);
    ASSERT_NE(thread, 0u);
    SleepMilliseconds(100 + random() % 200);
    StopThread(thread);
    CloseThread(thread);
    measurementState.blockStep = (round % 2) ? 1024 : 2048;
    ResetResultArrays();
    AllocateTestBuffers();
  }
  EXPECT_EQ(notifyCount.load(), 0);
}
