// The measurement state's geometry and arrays; the sweep's order of tests,
// passes, stores and refusals, on recording kernels; then real sweeps, stopped
// at random moments.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "measure/sweep.h"
#include "measure/sweep_run.h"
#include "probe/processor.h"
#include "record/state.h"
#include "tests/support/notify_counter.h"
#include "tests/support/state_reset.h"

// The block geometry and the result arrays.
TEST(State, BlocksOfTheMenuSettings) {
  const struct { uint64_t area; uint32_t step, count, lastLength; } rows[] = {
      {2097152, 1024, 2046, 2096128}, {8388608, 1024, 8190, 8387584}, {1048576, 16384, 63, 1017856}};
  for (const auto& row : rows) {
    measurementState.testAreaSize = row.area, measurementState.blockStep = row.step;
    EXPECT_TRUE(BlockCount() == row.count && BlockLength(row.count - 1) == row.lastLength) << row.area << " " << row.step;
  }
}

namespace {
int allocations = 0;
void* FailThirdAllocation(size_t count, size_t size) { return ++allocations == 3 ? nullptr : std::calloc(count, size); }
}  // namespace

TEST(State, ResetGivesZeroedArraysOfTheCurrentCountOrNoneAtAll) {
  ResetMeasurementStateForTest(), ResetResultArrays();
  measurementState.readRates[2045] = 5, measurementState.testAreaSize = 8388608;
  ResetResultArrays();
  ASSERT_TRUE(ResultArraysExist());
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates})
    for (uint32_t i = 0; i < 8190; ++i) ASSERT_EQ(rates[i], 0u);
  allocateResultArray = FailThirdAllocation, ResetResultArrays();
  EXPECT_TRUE(!measurementState.readRates && !measurementState.writeRates && !measurementState.copyRates);
  allocateResultArray = std::calloc, ResetResultArrays();  // a later reset recovers
  EXPECT_TRUE(ResultArraysExist());
}

TEST(PassRate, WorkedPasses) {
  const uint64_t scaled = 2048ull * 1000000000;
  // Tick difference and rate at 2 GHz, overhead 40: 100 ns, 166 ns, 0 ns counted
  // as 1, a difference below the overhead wrapping, exactly the overhead.
  for (const auto& row : {std::pair<uint64_t, uint64_t>{240, 20480000000u}, {373, 12337349397u}, {41, 2048000000000u}, {30, 222u}, {40, scaled}})
    EXPECT_EQ(PassRate(row.first, 40, 2000000000, scaled), row.second) << row.first;
}

namespace {
struct Call { std::string kernel; const void *first, *second; uint32_t length; };
std::vector<Call> calls;
std::function<void(const std::string&, uint32_t)> duringCall;  // looks at the state mid-sweep
// The counter the sweep reads: EmptyKernel adds 40 ticks (540 the 50th call, so
// the overhead is 2500 / 50 = 50), a kernel call the next of its passTicks.
uint64_t counterNow, clockToReport;
int emptyCalls;
std::map<std::string, std::vector<uint64_t>> passTicks;

void Record(const char* kernel, const void* first, const void* second, uint32_t length) {
  calls.push_back({kernel, first, second, length});
  std::vector<uint64_t>& ticks = passTicks[kernel];
  if (!ticks.empty()) counterNow += ticks.front(), ticks.erase(ticks.begin());
  if (duringCall) duringCall(kernel, length);
}

#define READ(name) static void name(const void* p, uint32_t n) { Record(#name, p, nullptr, n); }
#define WRITE(name) static void name(void* p, uint32_t n) { Record(#name, p, nullptr, n); }
#define COPY(name) static void name(const void* s, void* d, uint32_t n) { Record(#name, s, d, n); }
struct RecordingKernels {
  static uint64_t Clock() { return clockToReport; }
  static uint64_t Counter() { return counterNow; }
  static void EmptyKernel() { counterNow += ++emptyCalls == 50 ? 540 : 40; }
  READ(WarmCache) READ(ReadMmx) READ(ReadMmxPrefetch) READ(ReadSse) READ(ReadSsePrefetch) READ(ReadSse2) READ(ReadSse2Prefetch)
  WRITE(TouchBuffer) WRITE(WriteMmx) WRITE(WriteMmxNonTemporal) WRITE(WriteSse) WRITE(WriteSseNonTemporal) WRITE(WriteSse2)
  WRITE(WriteSse2NonTemporal) COPY(CopyMmx) COPY(CopyMmxNonTemporal) COPY(CopySseNonTemporal) COPY(CopySse2)
};

bool IsWarmUp(const std::string& kernel) { return kernel == "WarmCache" || kernel == "TouchBuffer"; }

// The kernels called, WarmCache as W and TouchBuffer as T, repeated passes as "name*count".
std::string Trace() {
  std::string out;
  for (size_t i = 0, count = 1; i < calls.size(); ++i, ++count) {
    const std::string& kernel = calls[i].kernel;
    if (i + 1 < calls.size() && calls[i + 1].kernel == kernel) continue;
    out += (IsWarmUp(kernel) ? kernel.substr(0, 1) : kernel) + (count > 1 ? "*" + std::to_string(count) : "") + " ";
    count = 0;
  }
  return out;
}

class Sweep : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest(), calls.clear(), passTicks.clear(), duringCall = nullptr;
    counterNow = 0, emptyCalls = 0, clockToReport = 2000000000;
    measurementState.testAreaSize = 1048576, measurementState.blockStep = 16384, AllocateTestBuffers(), ResetResultArrays();
  }
  void TearDown() override { duringCall = nullptr, ReleaseTestBuffers(), ResetMeasurementStateForTest(); }
};
}  // namespace

TEST_F(Sweep, EveryBlockRunsItsTestsInOrderWithTheirWarmUpsAndArguments) {
  const struct { bool sse; const char* block; } rows[] = {
      {false, "W ReadMmx*2 W ReadMmxPrefetch*2 T WriteMmx*2 WriteMmxNonTemporal*2 W CopyMmxNonTemporal*2 W CopyMmx*2 "},
      // Fast mode (2 passes): WriteSse2 still runs 10.
      {true, "W ReadMmx*2 W ReadMmxPrefetch*2 W ReadSse2Prefetch*2 W ReadSse2*2 W ReadSse*2 W ReadSsePrefetch*2 "
             "T WriteMmx*2 WriteMmxNonTemporal*2 WriteSse2NonTemporal*2 WriteSse2*10 WriteSseNonTemporal*2 WriteSse*2 "
             "W CopyMmxNonTemporal*2 W CopyMmx*2 W CopySse2*2 W CopySse2*2 W CopySseNonTemporal*2 "}};
  for (const auto& row : rows) {
    SetUp();
    measurementState.hasSse = measurementState.hasSse2 = row.sse, measurementState.repeatCount = 2;
    EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
    std::string expected;
    for (uint32_t i = 0; i < BlockCount(); ++i) expected += row.block;
    EXPECT_EQ(Trace(), expected);
    const void *source = measurementState.sourceBuffer, *destination = measurementState.destinationBuffer;
    uint32_t reads = 0, length = 0;
    for (const Call& c : calls) {  // warm-ups span the L2; the blocks come in order
      const bool writes = c.kernel == "TouchBuffer" || c.kernel.compare(0, 5, "Write") == 0;
      if (c.kernel == "ReadMmx") length = BlockLength(reads++ / 2);
      EXPECT_TRUE(c.first == (writes ? destination : source) && c.second == (c.kernel.compare(0, 4, "Copy") ? nullptr : destination) &&
                  c.length == (IsWarmUp(c.kernel) ? measurementState.l2CacheSize : length)) << c.kernel << " " << c.length;
    }
  }
}

TEST_F(Sweep, EachGroupKeepsItsFastestPassLessTheMeanOverheadOfFiftyEmptyCalls) {
  measurementState.testAreaSize = 2048 + 16384, measurementState.repeatCount = 3;  // one block of 2048 bytes
  // Ticks per pass, overhead included: the fastest of each group is neither
  // its first, last nor slowest pass, and 30 wraps below the overhead.
  passTicks = {{"ReadMmx", {450, 250, 850}}, {"ReadMmxPrefetch", {350, 30, 650}}, {"WriteMmx", {1050, 650, 1250}},
               {"WriteMmxNonTemporal", {850, 1450, 1050}}, {"CopyMmxNonTemporal", {1250, 850, 1650}}, {"CopyMmx", {2050, 1050, 1850}}};
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  // Best passes of 200, 600 and 800 ticks: 100, 300 and 400 ns.
  const MeasurementState& m = measurementState;
  EXPECT_EQ((std::vector<uint64_t>{m.clockHz, m.readRates[0], m.writeRates[0], m.copyRates[0]}), (std::vector<uint64_t>{2000000000u, 20480000000u, 6826666666u, 5120000000u}));
}

TEST_F(Sweep, RepeatCountIsReadBeforeEveryPassAndBlockCountBeforeEveryBlock) {
  int readPasses = 0;
  duringCall = [&](const std::string& kernel, uint32_t length) {
    if (kernel == "ReadMmx" && length == 2048 && ++readPasses == 3) measurementState.repeatCount = 2;
    if (kernel == "CopyMmx" && length == 2048) measurementState.repeatCount = 4;
    if (kernel == "CopyMmx" && length == 2048 + 2 * 16384) measurementState.testAreaSize = 2048 + 3 * 16384;
  };
  RunSweep<RecordingKernels>();
  const std::string later = "W ReadMmx*4 W ReadMmxPrefetch*4 T WriteMmx*4 WriteMmxNonTemporal*4 W CopyMmxNonTemporal*4 W CopyMmx*4 ";
  // Block 3 is no longer below the count.
  EXPECT_EQ(Trace(), "W ReadMmx*3 W ReadMmxPrefetch*2 T WriteMmx*2 WriteMmxNonTemporal*2 W CopyMmxNonTemporal*2 W CopyMmx*4 " + later + later);
}

TEST_F(Sweep, ReadBestStandsInAllThreeArraysUntilItsGroupReplacesIt) {
  measurementState.hasSse2 = true;
  for (uint32_t i = 0; i < BlockCount(); ++i) measurementState.readRates[i] = 7;  // the previous sweep's
  std::vector<std::string> failures;
  duringCall = [&](const std::string& kernel, uint32_t length) {
    const uint32_t i = (length - 2048) / measurementState.blockStep;
    if (length < 2048 || i >= BlockCount()) return;  // a warm-up
    const uint64_t *reads = measurementState.readRates, write = measurementState.writeRates[i], copy = measurementState.copyRates[i];
    if ((kernel == "WriteMmx" && !(reads[i] != 7 && write == reads[i] && copy == reads[i])) ||
        (kernel == "CopyMmx" && !(copy == reads[i] && write != 0)) || (kernel == "ReadMmx" && i + 1 < BlockCount() && reads[i + 1] != 7))
      failures.push_back(kernel + " " + std::to_string(i));
  };
  EXPECT_EQ(RunSweep<RecordingKernels>(), SweepCompleted);
  EXPECT_EQ(failures, std::vector<std::string>{});
  for (uint32_t i = 0; i < BlockCount(); ++i) EXPECT_NE(measurementState.readRates[i], 7u) << i;
}

TEST_F(Sweep, RefusesWithoutClockBuffersOrArraysAndBeforeDividingByAZeroStep) {
  const std::function<void()> faults[] = {[] { clockToReport = 0; }, [] { ReleaseTestBuffers(); },
      [] { std::free(measurementState.copyRates), measurementState.copyRates = nullptr; }, [] { measurementState.blockStep = 0; },
      [] { measurementState.l2CacheSize = measurementState.testBufferSize + 64; }};  // warm-ups beyond the buffers
  for (const auto& fault : faults) {
    SetUp(), fault();
    EXPECT_TRUE(RunSweep<RecordingKernels>() == SweepRefused && calls.empty());
  }
}

// Real sweeps on real kernels ------------------------------------------------

// As the program starts a sweep: on the probed machine, with no notice pending.
void ProbeForRealSweep() {
  ProbeProcessor();
  measurementState.testAreaSize = 1048576, measurementState.blockStep = 16384, measurementState.repeatCount = 2;
  AllocateTestBuffers(), ResetResultArrays();
  while (PollEvent(NotifyEvent())) continue;
  notifyCount = 0;
}

TEST_F(Sweep, RealSweepFillsEveryEntryAndNotifiesItsWindowOnceAndARefusedOneStillNotifies) {
  ProbeForRealSweep();
  int window = 0;
  // Every entry between 10 MB/s and 10 TB/s. One interruption among the fifty
  // empty calls raises the overhead above the short passes, whose rates then
  // wrap, as the method has it: on a busy machine a sweep may take three tries.
  std::string outside = "no sweep";
  for (int attempt = 1; attempt <= 3 && !outside.empty(); ++attempt) {
    ThreadHandle thread = StartThread(MeasurementThread, &window);
    ASSERT_TRUE(thread != 0 && WaitEvent(NotifyEvent(), 120000));
    CloseThread(thread);
    EXPECT_TRUE(notifyCount == attempt && lastNotifiedWindow == &window);
    outside.clear();
    for (uint32_t i = 0; i < BlockCount(); ++i)
      for (const uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates})
        if (rates[i] <= 10000000u || rates[i] >= 10000000000000u) outside += " " + std::to_string(i) + ": " + std::to_string(rates[i]);
  }
  EXPECT_EQ(outside, "");
  const int sweeps = notifyCount;
  ReleaseTestBuffers();
  ThreadHandle thread = StartThread(MeasurementThread, nullptr);
  ASSERT_TRUE(WaitEvent(NotifyEvent(), 60000));
  CloseThread(thread);
  EXPECT_EQ(notifyCount.load(), sweeps + 1);
}

TEST_F(Sweep, RealSweepsStoppedAtRandomMomentsThenResetAtOnce) {
  ProbeForRealSweep();
  // The stop returns only when the thread can write nothing more, so the reset
  // that follows may free the arrays it was writing.
  std::mt19937 random(12345);
  for (int round = 0; round < 12; ++round) {
    measurementState.blockStep = (round % 2) ? 1024 : 2048, ResetResultArrays();
    ThreadHandle thread = StartThread(MeasurementThread, nullptr);
    SleepMilliseconds(100 + random() % 200), StopThread(thread), CloseThread(thread), AllocateTestBuffers();
  }
  EXPECT_EQ(notifyCount.load(), 0);
}
