// The machine layout from a recorded GetLogicalProcessorInformationEx answer,
// built byte by byte in the documented layout, and from the real call.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/machine_layout_win32.h"

namespace {
// Record kinds and cache types as the system numbers them.
enum : uint32_t { Core = 0, Cache = 2, Package = 3, Group = 4 };
enum : uint32_t { Unified = 0, Instruction = 1, Data = 2 };

struct Mask {
  uint16_t group;
  uint64_t bits;
};

// A GROUP_AFFINITY: KAFFINITY (pointer-wide), the group, three reserved words.
void PutMask(std::vector<uint8_t>& body, size_t at, const Mask& mask) {
  body.resize(at + sizeof(void*) + 8, 0);
  std::memcpy(&body[at], &mask.bits, sizeof(void*));
  std::memcpy(&body[at + sizeof(void*)], &mask.group, 2);
}

void PutRecord(std::vector<uint8_t>& answer, uint32_t relation, const std::vector<uint8_t>& body) {
  const uint32_t size = static_cast<uint32_t>(8 + body.size());
  answer.insert(answer.end(), reinterpret_cast<const uint8_t*>(&relation), reinterpret_cast<const uint8_t*>(&relation) + 4);
  answer.insert(answer.end(), reinterpret_cast<const uint8_t*>(&size), reinterpret_cast<const uint8_t*>(&size) + 4);
  answer.insert(answer.end(), body.begin(), body.end());
}

// Flags, 21 reserved bytes, GroupCount at 22, masks from 24.
void PutProcessors(std::vector<uint8_t>& answer, uint32_t relation, const std::vector<Mask>& masks) {
  std::vector<uint8_t> body(24, 0);
  body[22] = static_cast<uint8_t>(masks.size());
  for (const Mask& mask : masks) PutMask(body, body.size(), mask);
  PutRecord(answer, relation, body);
}

// Level, associativity, line size at 2, size at 4, type at 8, GroupCount at
// 30 (0 before Windows 11: one mask), masks from 32.
void PutCache(std::vector<uint8_t>& answer, uint8_t level, uint32_t type, uint32_t size, const std::vector<Mask>& masks,
              bool countMasks = true) {
  std::vector<uint8_t> body(32, 0);
  const uint16_t line = 64;
  body[0] = level;
  std::memcpy(&body[2], &line, 2);
  std::memcpy(&body[4], &size, 4);
  std::memcpy(&body[8], &type, 4);
  body[30] = countMasks ? static_cast<uint8_t>(masks.size()) : 0;
  for (const Mask& mask : masks) PutMask(body, body.size(), mask);
  PutRecord(answer, Cache, body);
}

// One package of four cores with two hardware threads each; the fourth core
// in group 1 (processors 64 and 65). L1i, L1d and L2 per core; two L3s, the
// second over both groups.
std::vector<uint8_t> RecordedAnswer() {
  std::vector<uint8_t> answer;
  const Mask cores[] = {{0, 0x3}, {0, 0xC}, {0, 0x30}, {1, 0x3}};
  for (const Mask& core : cores) {
    PutProcessors(answer, Core, {core});
    PutCache(answer, 1, Instruction, 32 << 10, {core});
    PutCache(answer, 1, Data, 48 << 10, {core});
    PutCache(answer, 2, Unified, 2 << 20, {core});
  }
  PutCache(answer, 3, Unified, 32 << 20, {{0, 0xF}}, false);
  PutCache(answer, 3, Unified, 16 << 20, {{0, 0x30}, {1, 0x3}});
  PutProcessors(answer, Package, {{0, 0x3F}, {1, 0x3}});
  PutRecord(answer, Group, std::vector<uint8_t>(40, 0));
  return answer;
}

std::vector<uint32_t> ProcessorsOf(const MachineLayout& layout) {
  std::vector<uint32_t> numbers;
  for (const LayoutProcessor& processor : layout.processors) numbers.push_back(processor.osNumber);
  return numbers;
}

std::vector<uint32_t> LevelsOf(const MachineLayout& layout) {
  std::vector<uint32_t> levels;
  for (const LayoutCache& cache : layout.caches) levels.push_back(cache.level);
  return levels;
}
}  // namespace

TEST(MachineLayoutWin32, RecordedAnswerGivesEveryDataCacheInstance) {
  const std::vector<uint8_t> answer = RecordedAnswer();
  MachineLayout layout;
  ASSERT_TRUE(MachineLayoutFromProcessorInformation(answer.data(), answer.size(), &layout));
  EXPECT_EQ(layout.source, "GetLogicalProcessorInformationEx");
  EXPECT_EQ(ProcessorsOf(layout), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 64, 65}));
  const uint32_t cores[] = {0, 0, 1, 1, 2, 2, 3, 3};
  for (size_t p = 0; p < layout.processors.size(); ++p) {
    EXPECT_EQ(layout.processors[p].core, cores[p]) << p;
    EXPECT_EQ(layout.processors[p].package, 0u) << p;
  }
  EXPECT_EQ(LevelsOf(layout), (std::vector<uint32_t>{1, 1, 1, 1, 2, 2, 2, 2, 3, 3}));
  EXPECT_EQ(layout.caches[0].sizeBytes, 48u << 10);
  EXPECT_EQ(layout.caches[3].processors, (std::vector<uint32_t>{64, 65}));
  EXPECT_EQ(layout.caches[8].processors, (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(layout.caches[9].processors, (std::vector<uint32_t>{4, 5, 64, 65}));
  EXPECT_EQ(layout.caches[9].sizeBytes, 16u << 20);
  EXPECT_EQ(layout.caches[9].lineSize, 64u);
  EXPECT_EQ(layout.caches[9].sharedBy, 4u);

  EXPECT_FALSE(MachineLayoutFromProcessorInformation(answer.data(), answer.size() - 1, &layout));
}

TEST(MachineLayoutWin32, AffinityKeepsItsProcessorsAndTheirCaches) {
  const std::vector<uint8_t> answer = RecordedAnswer();
  MachineLayout layout;
  ASSERT_TRUE(MachineLayoutFromProcessorInformation(answer.data(), answer.size(), &layout));
  RestrictMachineLayout(&layout, {3, 4, 65});
  EXPECT_EQ(ProcessorsOf(layout), (std::vector<uint32_t>{3, 4, 65}));
  EXPECT_EQ(layout.processors[1].core, 1u);
  EXPECT_EQ(layout.processors[2].core, 2u);
  EXPECT_EQ(LevelsOf(layout), (std::vector<uint32_t>{1, 1, 1, 2, 2, 2, 3, 3}));
  EXPECT_EQ(layout.caches[7].processors, (std::vector<uint32_t>{4, 65}));
  EXPECT_EQ(layout.caches[7].sharedBy, 2u);
}

TEST(MachineLayoutWin32, TheSystemNamesAtLeastOneProcessor) {
  MachineLayout layout;
  std::string error;
  ASSERT_TRUE(ReadMachineLayout(&layout, &error)) << error;
  EXPECT_GE(layout.processors.size(), 1u);
}
