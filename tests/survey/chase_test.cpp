// The chase cycle, the assembly walk and the latency arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "survey/chase.h"

namespace {

const unsigned char fill = 0xA5;

const void* NextLine(const void* line) {
  const void* next;
  std::memcpy(&next, line, sizeof next);
  return next;
}

// lineCount lines and 64 bytes after them, all set to the fill byte.
std::vector<unsigned char> Lines(uint64_t lineCount, uint32_t lineSize) {
  return std::vector<unsigned char>(lineCount * lineSize + 64, fill);
}

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
  struct Case { uint64_t lines; uint32_t lineSize; };
  for (Case c : {Case{1, 64}, Case{2, 64}, Case{3, sizeof(void*)}, Case{1000, 64}, Case{4099, 12 + sizeof(void*)}}) {
    SCOPED_TRACE(testing::Message() << c.lines << " lines of " << c.lineSize);
    std::vector<unsigned char> buffer = Lines(c.lines, c.lineSize);
    BuildChaseCycle(buffer.data(), c.lines, c.lineSize, 42);
    ExpectOneCycle(buffer, c.lines, c.lineSize);
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
  struct Row { uint64_t ticks, loads, hz, picoseconds; };
  for (Row r : {
           Row{2450, 1000, 2450000000u, 1000},                   // 1 µs over 1000 loads
           Row{10000000000u, 1000000000u, 2450000000u, 4081},    // ticks · 10^12 is past 2^64
           Row{36750000000u, 10000000000u, 2450000000u, 1500},   // so is hz · loads
           Row{2449, 1000, 2450000000u, 999},                    // rounded down
           Row{2450, 0, 2450000000u, 0},
           Row{2450, 1000, 0, 0},
       }) {
    EXPECT_EQ(PicosecondsPerLoad(r.ticks, r.loads, r.hz), r.picoseconds) << r.ticks << " ticks, " << r.loads;
  }
}

TEST(ChaseMeasure, LinksTheBlockAndRefusesWhatItCannotMeasure) {
  const uint64_t lines = 300;
  std::vector<unsigned char> buffer = Lines(lines, 64);
  EXPECT_GT(MeasureChaseLatencyPicoseconds(buffer.data(), lines * 64 + 63, 64, 10000, 2, 2450000000u), 0u);
  ExpectOneCycle(buffer, lines, 64);

  std::vector<unsigned char> untouched = Lines(lines, 64);
  EXPECT_EQ(MeasureChaseLatencyPicoseconds(untouched.data(), 63, 64, 1000, 2, 2450000000u), 0u);
  EXPECT_EQ(MeasureChaseLatencyPicoseconds(untouched.data(), 64 * lines, sizeof(void*) - 1, 1000, 2, 2450000000u), 0u);
  EXPECT_EQ(MeasureChaseLatencyPicoseconds(untouched.data(), 64 * lines, 64, 1000, 0, 2450000000u), 0u);
  EXPECT_EQ(MeasureChaseLatencyPicoseconds(untouched.data(), 64 * lines, 64, 1000, 2, 0), 0u);
  EXPECT_EQ(untouched, Lines(lines, 64));
}

}  // namespace
