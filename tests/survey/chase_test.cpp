// The chase cycle, the assembly walk and the latency arithmetic.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "survey/chase.h"

namespace {

const unsigned char fill = 0xA5;

const void* NextLine(const void* line) { const void* next; return std::memcpy(&next, line, sizeof next), next; }

// lineCount lines and 64 bytes after them, all set to the fill byte.
std::vector<unsigned char> Lines(uint64_t lineCount, uint32_t lineSize) { return std::vector<unsigned char>(lineCount * lineSize + 64, fill); }

// lineCount links from the first line each lead to the start of a line not yet
// seen, the last back to the first, few of them to a neighbouring line in address
// order; nothing but the link slots has changed.
void ExpectOneCycle(const std::vector<unsigned char>& buffer, uint64_t lineCount, uint32_t lineSize) {
  std::vector<bool> seen(lineCount, false);
  const void* at = buffer.data();
  uint64_t toNeighbour = 0;
  for (uint64_t step = 0; step < lineCount; ++step) {
    const uintptr_t from = reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(buffer.data());
    at = NextLine(at);
    const uintptr_t offset = reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(buffer.data());
    ASSERT_TRUE(offset < lineCount * lineSize && offset % lineSize == 0) << "step " << step << " to " << offset;
    ASSERT_FALSE(seen[offset / lineSize]) << "line " << offset / lineSize << " visited twice";
    seen[offset / lineSize] = true;
    toNeighbour += offset == from + lineSize || offset + lineSize == from;
  }
  EXPECT_EQ(at, buffer.data()) << "the walk does not close after one turn";
  EXPECT_LE(toNeighbour, lineCount / 100 + 2) << "links to a neighbouring line";
  for (size_t i = 0; i < buffer.size(); ++i)
    ASSERT_TRUE((i < lineCount * lineSize && i % lineSize < sizeof(void*)) || buffer[i] == fill) << "byte " << i;
}

TEST(ChaseCycle, EveryLineOncePerTurnNotInAddressOrder) {
  const struct { uint64_t lines; uint32_t lineSize; } cases[] = {{1, 64}, {2, 64}, {3, sizeof(void*)}, {1000, 64}, {4099, 12 + sizeof(void*)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lines << " lines of " << c.lineSize);
    std::vector<unsigned char> buffer = Lines(c.lines, c.lineSize);
    BuildChaseCycle(buffer.data(), c.lines, c.lineSize, 42), ExpectOneCycle(buffer, c.lines, c.lineSize);
  }
}

TEST(ChaseLoads, EndsWhereTheWalkInCxxEnds) {
  const uint64_t lines = 37;  // not a multiple of the unroll
  std::vector<unsigned char> buffer = Lines(lines, 64);
  BuildChaseCycle(buffer.data(), lines, 64, 3);
  for (uint64_t count : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 23u, 1003u}) {
    const void* expected = buffer.data();
    for (uint64_t k = 0; k < count; ++k) expected = NextLine(expected);
    EXPECT_EQ(ChaseLoads(buffer.data(), count), expected) << count << " loads";
  }
}

TEST(ChaseArithmetic, WorkedNumbers) {
  // Ticks, loads, hz, picoseconds: 1 µs over 1000 loads, ticks · 10^12 past 2^64, so hz · loads, rounded down, refusals.
  const uint64_t rows[][4] = {{2450, 1000, 2450000000u, 1000}, {10000000000u, 1000000000u, 2450000000u, 4081},
                              {36750000000u, 10000000000u, 2450000000u, 1500}, {2449, 1000, 2450000000u, 999},
                              {2450, 0, 2450000000u, 0}, {2450, 1000, 0, 0}};
  for (const auto& r : rows) EXPECT_EQ(PicosecondsPerLoad(r[0], r[1], r[2]), r[3]) << r[0] << " ticks, " << r[1];
}

TEST(ChaseMeasure, LinksTheBlockAndRefusesWhatItCannotMeasure) {
  const uint64_t lines = 300;
  std::vector<unsigned char> buffer = Lines(lines, 64);
  EXPECT_GT(MeasureChaseLatencyPicoseconds(buffer.data(), lines * 64 + 63, 64, 10000, 2, 2450000000u), 0u);
  ExpectOneCycle(buffer, lines, 64);

  std::vector<unsigned char> untouched = Lines(lines, 64);
  const uint64_t refused[][5] = {{63, 64, 1000, 2, 2450000000u}, {64 * lines, sizeof(void*) - 1, 1000, 2, 2450000000u},
                                 {64 * lines, 64, 1000, 0, 2450000000u}, {64 * lines, 64, 1000, 2, 0}};  // bytes, line, loads, rounds, hz
  for (const auto& r : refused)
    EXPECT_EQ(MeasureChaseLatencyPicoseconds(untouched.data(), r[0], static_cast<uint32_t>(r[1]), r[2], static_cast<uint32_t>(r[3]), r[4]), 0u) << r[0] << " " << r[1];
  EXPECT_EQ(untouched, Lines(lines, 64));
}

// A stop raised from another thread 50 ms in ends the measurement within a
// second, measuring nothing: a timed run of seconds over a small block (the
// walk looks), and a 256 MiB block (linked, then walked). The linking of a
// cycle of millions of lines looks too.
TEST(ChaseMeasure, AStopFromAnotherThreadEndsItWithinASecond) {
  std::atomic<bool> raised{true};
  std::vector<unsigned char> lines = Lines(2 * chaseLookLoads, 64);
  EXPECT_FALSE(BuildChaseCycle(lines.data(), 2 * chaseLookLoads, 64, 1, &raised));
  const struct { uint64_t bytes, minTicks; } cases[] = {{uint64_t{1} << 20, 5000000000u}, {uint64_t{256} << 20, 10000}};
  for (const auto& c : cases) {
    std::vector<unsigned char> buffer(c.bytes);
    std::atomic<bool> stop{false};
    const auto start = std::chrono::steady_clock::now();
    std::thread raiser([&stop] { std::this_thread::sleep_for(std::chrono::milliseconds(50)), stop.store(true); });
    const uint64_t picoseconds = MeasureChaseLatencyPicoseconds(buffer.data(), c.bytes, 64, c.minTicks, 2, 2450000000u, &stop);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    raiser.join();
    EXPECT_TRUE(picoseconds == 0 && elapsed < std::chrono::seconds(1))
        << c.bytes << " bytes: " << picoseconds << " ps after " << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms";
  }
}

}  // namespace
