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
#endif

TEST(Pages, CommitsPageAlignedReadableAndWritableMemory) {
  const uint32_t size = 3 * 65536;
  uint8_t* readOnly = static_cast<uint8_t*>(CommitReadOnlyPages(size));
  uint8_t* readWrite = static_cast<uint8_t*>(CommitReadWritePages(size));
  ASSERT_TRUE(readOnly && readWrite);
  EXPECT_EQ((reinterpret_cast<uintptr_t>(readOnly) | reinterpret_cast<uintptr_t>(readWrite)) % 4096, 0u);
  volatile uint8_t sink = 0;
  for (uint32_t i = 0; i < size; i += 4096) sink = sink + readOnly[i];
  std::memset(readWrite, 0x5A, size);
  EXPECT_EQ(readWrite[size - 1], 0x5A);
  ReleasePages(readOnly, size), ReleasePages(readWrite, size);
  EXPECT_TRUE(!CommitReadOnlyPages(0) && !CommitReadWritePages(0));
}

#ifdef _WIN32
TEST(Pages, ReadOnlyPagesEndReadOnly) {
  const uint32_t size = 4 * 65536;
  void* pages = CommitReadOnlyPages(size);
  MEMORY_BASIC_INFORMATION info;
  ASSERT_NE(VirtualQuery(pages, &info, sizeof info), 0u);
  EXPECT_TRUE(info.Protect == PAGE_READONLY && info.State == MEM_COMMIT && info.RegionSize >= size);
  ReleasePages(pages, size);
}
#else
// Resident kilobytes of the mapping that starts at address, from smaps.
static long ResidentKiB(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  char start[32];
  std::snprintf(start, sizeof start, "%lx-", reinterpret_cast<unsigned long>(address));
  bool inMapping = false;  // the first Rss after the mapping's line is its own
  for (std::string line; std::getline(smaps, line);)
    if ((inMapping = inMapping || line.rfind(start, 0) == 0) && line.rfind("Rss:", 0) == 0) return std::stol(line.substr(4));
  return -1;
}

TEST(Pages, ReadOnlyPagesHaveMemoryOfTheirOwnAndRefuseWrites) {
  // Untouched, an anonymous mapping would be backed by the one zero page and
  // show almost nothing resident.
  const uint32_t size = 8 * 1048576;
  void* pages = CommitReadOnlyPages(size);
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(ResidentKiB(pages), static_cast<long>(size / 1024));
  EXPECT_DEATH(*static_cast<volatile uint8_t*>(pages) = 1, "");
  ReleasePages(pages, size);
}
#endif

static uint32_t SignalAfterDelay(void* event) { return SleepMilliseconds(30), SignalEvent(*static_cast<EventHandle*>(event)), 0; }

TEST(Event, OneSignalEndsOnePollOrWaitAndAnUnpolledSignalStaysPending) {
  EventHandle event = CreateAutoResetEvent();
  ASSERT_NE(event, 0u);
  const bool first = PollEvent(event);
  SignalEvent(event), SignalEvent(event);  // signals do not count up
  const bool second = PollEvent(event), third = PollEvent(event);
  SignalEvent(event), SleepMilliseconds(20);
  EXPECT_TRUE(!first && second && !third && PollEvent(event));
  ThreadHandle thread = StartThread(SignalAfterDelay, &event);
  EXPECT_TRUE(WaitEvent(event, 10000));
  CloseThread(thread);
  EXPECT_FALSE(WaitEvent(event, 10));
  CloseEvent(event);
}

namespace {
std::atomic<uint64_t> spins{0};
uint32_t SpinUntilStopped(void*) {
  for (;; spins.fetch_add(1)) if (ThreadStopRequested()) return 0;
}
uint32_t ReturnAtOnce(void*) { return 0; }
uint32_t SleepLong(void*) { return SleepMilliseconds(60000), 0; }
}  // namespace

TEST(Threads, StopReturnsOnlyOnceTheThreadNoLongerRuns) {
  for (int round = 0; round < 20; ++round) {
    spins = 0;
    ThreadHandle thread = StartThread(SpinUntilStopped, nullptr);
    ASSERT_NE(thread, 0u);
    while (spins.load() < 1000) SleepMilliseconds(0);
    StopThread(thread);
    const uint64_t afterStop = spins.load();
    SleepMilliseconds(5), CloseThread(thread);
    EXPECT_EQ(spins.load(), afterStop);
  }
}

TEST(Threads, StopCutsASleepShortAndIsHarmlessOnAFinishedThread) {
  const uint64_t start = ReadPerformanceCounter();
  ThreadHandle thread = StartThread(SleepLong, nullptr);
  SleepMilliseconds(50), StopThread(thread), CloseThread(thread);
  EXPECT_LT((ReadPerformanceCounter() - start) / PerformanceCounterFrequency(), 30u);  // far less than a minute
  thread = StartThread(ReturnAtOnce, nullptr);
  ASSERT_NE(thread, 0u);
  SleepMilliseconds(20), StopThread(thread), CloseThread(thread), StopThread(0), CloseThread(0);
  EXPECT_FALSE(ThreadStopRequested());  // not a stoppable thread
}

TEST(TimeAndAtomics, CounterAdvancesAtItsFrequencyAndCompareExchangeStoresOnlyOnMatch) {
  const uint64_t frequency = PerformanceCounterFrequency(), start = ReadPerformanceCounter();
  SleepMilliseconds(50);
  // At least the sleep; an upper bound would only measure the machine's load.
  EXPECT_GE((ReadPerformanceCounter() - start) * 1000 / frequency, 45u);
#ifndef _WIN32
  EXPECT_EQ(frequency, 1000000000u);
#endif
  volatile intptr_t slot = 0;
  EXPECT_TRUE(CompareExchange(&slot, -1, 0) == 0 && CompareExchange(&slot, 7, 0) == -1 && slot == -1);
}

TEST(Files, CreateNewFileNeverOpensAnExistingFile) {
  const char* path = "lorvanta-os-test.tmp";
  RemoveFile(path);
  FileHandle file;
  ASSERT_EQ(CreateNewFile(path, &file), FileCreated);
  EXPECT_TRUE(WriteWholeBuffer(file, "abc", 3) && CloseFile(file) && CreateNewFile(path, &file) == FileExists);
  std::FILE* check = std::fopen(path, "rb");
  char content[8] = {};
  ASSERT_TRUE(check && std::fread(content, 1, sizeof content, check) == 3);  // not truncated by the refused create
  std::fclose(check), RemoveFile(path);
  EXPECT_STREQ(content, "abc");
  EXPECT_EQ(CreateNewFile("no-such-directory/x.tmp", &file), FileFailed);
}
