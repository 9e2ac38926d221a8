// The operating-system seam, run natively and under Wine.
#include "platform/os.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#include <sstream>
#endif

TEST(Pages, CommitsPageAlignedReadableAndWritableMemory) {
  const uint32_t size = 3 * 65536;
  uint8_t* readOnly = static_cast<uint8_t*>(CommitReadOnlyPages(size));
  uint8_t* readWrite = static_cast<uint8_t*>(CommitReadWritePages(size));
  ASSERT_NE(readOnly, nullptr);
  ASSERT_NE(readWrite, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(readOnly) % 4096, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(readWrite) % 4096, 0u);
  volatile uint8_t sink = 0;
  for (uint32_t i = 0; i < size; i += 4096) sink = sink + readOnly[i];
  std::memset(readWrite, 0x5A, size);
  EXPECT_EQ(readWrite[size - 1], 0x5A);
  ReleasePages(readOnly, size);
  ReleasePages(readWrite, size);
}

TEST(Pages, ZeroLengthCommitFails) {
  EXPECT_EQ(CommitReadOnlyPages(0), nullptr);
  EXPECT_EQ(CommitReadWritePages(0), nullptr);
}

#ifdef _WIN32
TEST(Pages, ReadOnlyPagesEndReadOnly) {
  const uint32_t size = 4 * 65536;
  void* pages = CommitReadOnlyPages(size);
  ASSERT_NE(pages, nullptr);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_NE(VirtualQuery(pages, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  EXPECT_GE(info.RegionSize, size);
  ReleasePages(pages, size);
}
#else
// Resident kilobytes of the mapping that starts at address, from smaps.
static long ResidentKiB(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  char start[32];
  std::snprintf(start, sizeof start, "%lx-", reinterpret_cast<unsigned long>(address));
  std::string line;
  bool inMapping = false;
  while (std::getline(smaps, line)) {
    if (line.find('-') != std::string::npos && line.find(':') == std::string::npos) inMapping = false;
    if (line.rfind(start, 0) == 0) inMapping = true;
    if (inMapping && line.rfind("Rss:", 0) == 0) return std::stol(line.substr(4));
  }
  return -1;
}

TEST(Pages, ReadOnlyPagesEachHaveMemoryOfTheirOwn) {
  // An untouched anonymous mapping would be backed by the one zero page and
  // show almost nothing resident; every page must be resident instead.
  const uint32_t size = 8 * 1048576;
  void* pages = CommitReadOnlyPages(size);
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(ResidentKiB(pages), static_cast<long>(size / 1024));
  ReleasePages(pages, size);
}

TEST(Pages, ReadOnlyPagesRefuseWrites) {
  void* pages = CommitReadOnlyPages(4096);
  ASSERT_NE(pages, nullptr);
  EXPECT_DEATH(*static_cast<volatile uint8_t*>(pages) = 1, "");
  ReleasePages(pages, 4096);
}
#endif

TEST(Event, OneSignalEndsOnePollAndAnUnpolledSignalStaysPending) {
  EventHandle event = CreateAutoResetEvent();
  ASSERT_NE(event, 0u);
  EXPECT_FALSE(PollEvent(event));
  SignalEvent(event);
  SignalEvent(event);  // signals do not count up
  EXPECT_TRUE(PollEvent(event));
  EXPECT_FALSE(PollEvent(event));
  SignalEvent(event);
  SleepMilliseconds(20);
  EXPECT_TRUE(PollEvent(event));
  CloseEvent(event);
}

static uint32_t SignalAfterDelay(void* argument) {
  SleepMilliseconds(30);
  SignalEvent(*static_cast<EventHandle*>(argument));
  return 0;
}

TEST(Event, WaitReturnsWhenAnotherThreadSignals) {
  EventHandle event = CreateAutoResetEvent();
  ThreadHandle thread = StartThread(SignalAfterDelay, &event);
  ASSERT_NE(thread, 0u);
  EXPECT_TRUE(WaitEvent(event, 10000));
  CloseThread(thread);
  EXPECT_FALSE(WaitEvent(event, 10));
  CloseEvent(event);
}

namespace {
std::atomic<uint64_t> spins{0};
uint32_t SpinUntilStopped(void*) {
  for (;;) {
    spins.fetch_add(1);
    if (ThreadStopRequested()) return 0;
  }
}
}  // namespace

TEST(Threads, StopReturnsOnlyOnceTheThreadNoLongerRuns) {
  for (int round = 0; round < 20; ++round) {
    spins = 0;
    ThreadHandle thread = StartThread(SpinUntilStopped, nullptr);
    ASSERT_NE(thread, 0u);
    while (spins.load() < 1000) SleepMilliseconds(0);
    StopThread(thread);
    const uint64_t afterStop = spins.load();
    SleepMilliseconds(5);
    EXPECT_EQ(spins.load(), afterStop);
    CloseThread(thread);
  }
}

static uint32_t ReturnAtOnce(void*) { return 0; }

TEST(Threads, StoppingOrClosingAFinishedThreadIsHarmless) {
  ThreadHandle thread = StartThread(ReturnAtOnce, nullptr);
  ASSERT_NE(thread, 0u);
  SleepMilliseconds(20);
  StopThread(thread);
  CloseThread(thread);
  StopThread(0);
  CloseThread(0);
  EXPECT_FALSE(ThreadStopRequested());  // not a stoppable thread
}

TEST(Time, CounterAdvancesAtItsFrequencyAcrossASleep) {
  const uint64_t frequency = PerformanceCounterFrequency();
  ASSERT_GT(frequency, 0u);
  const uint64_t start = ReadPerformanceCounter();
  SleepMilliseconds(50);
  const uint64_t elapsed = ReadPerformanceCounter() - start;
  // At least the sleep; an upper bound would only measure the machine's load.
  EXPECT_GE(elapsed * 1000 / frequency, 45u);
#ifndef _WIN32
  EXPECT_EQ(frequency, 1000000000u);
#endif
}

TEST(Atomics, CompareExchangeStoresOnlyOnMatchAndReturnsTheOldValue) {
  volatile intptr_t slot = 0;
  EXPECT_EQ(CompareExchange(&slot, -1, 0), 0);
  EXPECT_EQ(slot, -1);
  EXPECT_EQ(CompareExchange(&slot, 7, 0), -1);
  EXPECT_EQ(slot, -1);
}

TEST(Files, CreateNewFileNeverOpensAnExistingFile) {
  const char* path = "lorvanta-os-test.tmp";
  RemoveFile(path);
  FileHandle file;
  ASSERT_EQ(CreateNewFile(path, &file), FileCreated);
  EXPECT_TRUE(WriteWholeBuffer(file, "abc", 3));
  EXPECT_TRUE(CloseFile(file));
  FileHandle second;
  EXPECT_EQ(CreateNewFile(path, &second), FileExists);
  std::FILE* check = std::fopen(path, "rb");
  ASSERT_NE(check, nullptr);
  char content[8] = {};
  EXPECT_EQ(std::fread(content, 1, sizeof content, check), 3u);
  std::fclose(check);
  EXPECT_STREQ(content, "abc");
  RemoveFile(path);
  EXPECT_EQ(CreateNewFile("no-such-directory/x.tmp", &second), FileFailed);
}

static uint32_t SleepLong(void*) {
  SleepMilliseconds(60000);
  return 0;
}

TEST(Threads, StopCutsASleepOfTheThreadShort) {
  const uint64_t start = ReadPerformanceCounter();
  ThreadHandle thread = StartThread(SleepLong, nullptr);
  ASSERT_NE(thread, 0u);
  SleepMilliseconds(50);
  StopThread(thread);
  CloseThread(thread);
  // Far less than the minute the thread meant to sleep.
  EXPECT_LT((ReadPerformanceCounter() - start) / PerformanceCounterFrequency(), 30u);
}
