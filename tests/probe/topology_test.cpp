// Cache topology from recorded CPUID answers of real processors, and the
// operating system's view beside it.
#include "probe/topology.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/cache_view.h"

namespace {
struct Answer {
  uint32_t leaf, subleaf;
  CpuidAnswer registers;
};
std::map<std::pair<uint32_t, uint32_t>, CpuidAnswer> recorded;

CpuidAnswer Recorded(uint32_t leaf, uint32_t subleaf) {
  auto found = recorded.find({leaf, subleaf});
  return found == recorded.end() ? CpuidAnswer{0, 0, 0, 0} : found->second;
}

CacheTopology TopologyOf(const std::vector<Answer>& answers) {
  recorded.clear();
  for (const Answer& a : answers) recorded[{a.leaf, a.subleaf}] = a.registers;
  executeCpuidSubleaf = Recorded;
  const CacheTopology topology = ReadCacheTopology();
  executeCpuidSubleaf = ExecuteCpuidSubleafInstruction;
  return topology;
}

const uint64_t KiB = 1024, MiB = 1024 * 1024;

// This machine: AMD EPYC (family 0x19 model 1, Zen 3) under KVM, with topology
// extensions (0x80000001 ECX bit 22).
const std::vector<Answer> epycZen3 = {
    {0x00000000, 0, {0x0000000d, 0x68747541, 0x444d4163, 0x69746e65}},
    {0x00000001, 0, {0x00a00f11, 0x00020800, 0xfffa3203, 0x178bfbff}},
    {0x80000000, 0, {0x80000021, 0x68747541, 0x444d4163, 0x69746e65}},
    {0x80000001, 0, {0x00a00f11, 0x40000000, 0x004003f3, 0x2fd3fbff}},
    {0x80000005, 0, {0xff40ff40, 0xff40ff40, 0x20080140, 0x20080140}},
    {0x80000006, 0, {0x48002200, 0x68004200, 0x02006140, 0x08009140}},
    {0x8000001d, 0, {0x00000121, 0x01c0003f, 0x0000003f, 0x00000000}},
    {0x8000001d, 1, {0x00000122, 0x01c0003f, 0x0000003f, 0x00000000}},
    {0x8000001d, 2, {0x00000143, 0x01c0003f, 0x000003ff, 0x00000002}},
    {0x8000001d, 3, {0x00004163, 0x03c0003f, 0x00007fff, 0x00000001}},
};

std::vector<Answer> WithoutTopologyExtensions(std::vector<Answer> answers) {
  for (Answer& a : answers)
    if (a.leaf == 0x80000001) a.registers.ecx &= ~(1u << 22);
  return answers;
}

struct Row {
  const char* processor;
  std::vector<Answer> answers;
  const char* source;
  std::vector<std::string> caches;  // as DescribeCache gives them
};

const Row rows[] = {
    {"AMD EPYC Zen 3 (this machine)", epycZen3, "CPUID leaf 0x8000001D",
     {"L1d 32 KiB, 8-way, 64 B lines, shared by 1",
      "L1i 32 KiB, 8-way, 64 B lines, shared by 1",
      "L2 512 KiB, 8-way, 64 B lines, shared by 1",
      "L3 32 MiB, 16-way, 64 B lines, shared by 2"}},
    // The same processor read through the older leaves: 0x80000006 EDX gives
    // the L3 of the whole package (512 units of 512 KiB) with code 9, "ways
    // in 0x8000001D".
    {"AMD EPYC Zen 3, legacy leaves", WithoutTopologyExtensions(epycZen3), "CPUID 0x80000005/6",
     {"L1d 32 KiB, 8-way, 64 B lines",
      "L1i 32 KiB, 8-way, 64 B lines",
      "L2 512 KiB, 8-way, 64 B lines",
      "L3 256 MiB, 64 B lines"}},
    // AMD Phenom II X6 1100T (family 0x10, Thuban): no topology extensions.
    {"AMD Phenom II X6 1100T",
     {{0x00000000, 0, {0x00000006, 0x68747541, 0x444d4163, 0x69746e65}},
      {0x80000000, 0, {0x8000001b, 0x68747541, 0x444d4163, 0x69746e65}},
      {0x80000001, 0, {0x00100fa0, 0x10000050, 0x000037ff, 0xefd3fbff}},
      {0x80000005, 0, {0xff30ff10, 0xff30ff20, 0x40020140, 0x40020140}},
      {0x80000006, 0, {0x20800000, 0x42004200, 0x02008140, 0x0030b140}}},
     "CPUID 0x80000005/6",
     {"L1d 64 KiB, 2-way, 64 B lines",
      "L1i 64 KiB, 2-way, 64 B lines",
      "L2 512 KiB, 16-way, 64 B lines",
      "L3 6 MiB, 48-way, 64 B lines"}},
    // Intel Core, Kaby Lake R (family 6 model 0x8E stepping 10); its leaf 2
    // holds the 0xFF descriptor, "see leaf 4".
    {"Intel Kaby Lake R",
     {{0x00000000, 0, {0x00000016, 0x756e6547, 0x6c65746e, 0x49656e69}},
      {0x00000001, 0, {0x000806ea, 0x00100800, 0x7ffafbff, 0xbfebfbff}},
      {0x00000002, 0, {0x76036301, 0x00f0b5ff, 0x00000000, 0x00c30000}},
      {0x00000004, 0, {0x1c004121, 0x01c0003f, 0x0000003f, 0x00000000}},
      {0x00000004, 1, {0x1c004122, 0x01c0003f, 0x0000003f, 0x00000000}},
      {0x00000004, 2, {0x1c004143, 0x00c0003f, 0x000003ff, 0x00000000}},
      {0x00000004, 3, {0x1c03c163, 0x02c0003f, 0x00001fff, 0x00000006}}},
     "CPUID leaf 4",
     {"L1d 32 KiB, 8-way, 64 B lines, shared by 2",
      "L1i 32 KiB, 8-way, 64 B lines, shared by 2",
      "L2 256 KiB, 4-way, 64 B lines, shared by 2",
      "L3 6 MiB, 12-way, 64 B lines, shared by 16"}},
    // Intel Pentium M (Dothan): highest leaf 2; its descriptors name L2, L1i
    // and L1d in that order among TLB and prefetch bytes.
    {"Intel Pentium M (Dothan)",
     {{0x00000000, 0, {0x00000002, 0x756e6547, 0x6c65746e, 0x49656e69}},
      {0x00000002, 0, {0x02b3b001, 0x000000f0, 0x00000000, 0x2c04307d}}},
     "CPUID leaf 2",
     {"L1d 32 KiB, 8-way, 64 B lines",
      "L1i 32 KiB, 8-way, 64 B lines",
      "L2 2 MiB, 8-way, 64 B lines"}},
};
}  // namespace

TEST(CacheTopology, RecordedProcessors) {
  for (const Row& row : rows) {
    const CacheTopology topology = TopologyOf(row.answers);
    EXPECT_STREQ(topology.source, row.source) << row.processor;
    ASSERT_EQ(topology.count, row.caches.size()) << row.processor;
    for (uint32_t i = 0; i < topology.count; ++i)
      EXPECT_EQ(DescribeCache(topology.caches[i]), row.caches[i]) << row.processor;
  }
}

TEST(CacheTopology, DescriptorEdgeCases) {
  const CpuidAnswer intel{0x0000000b, 0x756e6547, 0x6c65746e, 0x49656e69};
  // Leaf 4 lists nothing and leaf 2 only says "see leaf 4": no cache at all.
  CacheTopology topology = TopologyOf({{0, 0, intel}, {2, 0, {0x00feff01, 0x000000f0, 0, 0}}});
  EXPECT_EQ(topology.count, 0u);
  EXPECT_STREQ(topology.source, "none");
  // Two bytes name an L2: the later one stands, once.
  topology = TopologyOf({{0, 0, intel}, {2, 0, {0x00000001, 0x00000043, 0, 0x00000045}}});
  ASSERT_EQ(topology.count, 1u);
  EXPECT_EQ(topology.caches[0].sizeBytes, 2 * MiB);
}

TEST(CacheTopology, DataLevelsAndDescriptions) {
  const CacheTopology topology = TopologyOf(epycZen3);
  CacheLevelInfo data[8];
  ASSERT_EQ(DataCacheLevels(topology, data, 8), 3u);
  EXPECT_EQ(data[0].kind, CacheData);
  EXPECT_EQ(data[1].sizeBytes, 512 * KiB);
  EXPECT_EQ(data[2].level, 3u);
  EXPECT_EQ(DataCacheLevels(topology, data, 2), 2u);  // never past the capacity
  EXPECT_EQ(DescribeCache({1, CacheInstruction, 1536 * KiB, 0, 0, 0, true}), "L1i 1536 KiB, fully associative");
}

TEST(CacheTopology, ComparisonNamesEveryDifferingDataLevel) {
  const CacheTopology processor = TopologyOf(epycZen3);
  EXPECT_EQ(CompareCacheTopologies(processor, processor), "");

  CacheTopology os = processor;
  os.caches[1].sizeBytes = 64 * KiB;  // the instruction cache does not count
  EXPECT_EQ(CompareCacheTopologies(processor, os), "");

  const CacheTopology legacy = TopologyOf(WithoutTopologyExtensions(epycZen3));
  EXPECT_EQ(CompareCacheTopologies(legacy, processor),
            "warning: the processor (CPUID 0x80000005/6) and the operating system report different caches: "
            "L3 256 MiB vs 32 MiB; using the processor's");
  os = processor;
  os.caches[2] = os.caches[3];  // no L2
  os.count = 3;
  EXPECT_EQ(CompareCacheTopologies(processor, os),
            "warning: the processor (CPUID leaf 0x8000001D) and the operating system report different caches: "
            "L2 512 KiB vs none; using the processor's");
  os.count = 2;  // no L2 and no L3
  EXPECT_EQ(CompareCacheTopologies(os, processor),
            "warning: the processor (CPUID leaf 0x8000001D) and the operating system report different caches: "
            "L2 none vs 512 KiB, L3 none vs 32 MiB; using the processor's");
}

TEST(CacheTopologyOnThisMachine, ProcessorAndOperatingSystem) {
  const CacheTopology processor = ReadCacheTopology();
  std::printf("processor (%s):\n", processor.source);
  for (uint32_t i = 0; i < processor.count; ++i) std::printf("  %s\n", DescribeCache(processor.caches[i]).c_str());
  CacheLevelInfo data[8];
  ASSERT_GE(DataCacheLevels(processor, data, 8), 2u);  // every x86 processor of this century
  EXPECT_EQ(data[0].level, 1u);

  CacheTopology os;
  const bool read = ReadOsCacheTopology(&os);
#ifdef _WIN32
  EXPECT_FALSE(read);
#else
  ASSERT_TRUE(read);
  std::printf("operating system (%s):\n", os.source);
  for (uint32_t i = 0; i < os.count; ++i) std::printf("  %s\n", DescribeCache(os.caches[i]).c_str());
  const uint32_t osLevels = DataCacheLevels(os, data, 8);
  ASSERT_GE(osLevels, 2u);
  for (uint32_t i = 0; i < osLevels; ++i) EXPECT_EQ(data[i].level, i + 1);  // one data cache per level, in order
  std::printf("comparison: \"%s\"\n", CompareCacheTopologies(processor, os).c_str());
#endif
}
