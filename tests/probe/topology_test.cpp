// Cache topology from recorded CPUID answers of real processors, and the
// operating system's view beside it.
#include "probe/topology.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "probe/clock.h"
#include "probe/core_clock.h"
#include "probe/delay_chain.h"

namespace {
struct Answer { uint32_t leaf, subleaf; CpuidAnswer registers; };
std::map<std::pair<uint32_t, uint32_t>, CpuidAnswer> recorded;

CpuidAnswer Recorded(uint32_t leaf, uint32_t subleaf) {
  return recorded.count({leaf, subleaf}) ? recorded[{leaf, subleaf}] : CpuidAnswer{0, 0, 0, 0};
}

CacheTopology TopologyOf(const std::vector<Answer>& answers) {
  recorded.clear();
  for (const Answer& a : answers) recorded[{a.leaf, a.subleaf}] = a.registers;
  executeCpuidSubleaf = Recorded;
  const CacheTopology topology = ReadCacheTopology();
  return executeCpuidSubleaf = ExecuteCpuidSubleafInstruction, topology;
}

const uint64_t KiB = 1024;
const CpuidAnswer intel{0xb, 0x756e6547, 0x6c65746e, 0x49656e69};

// This machine: AMD EPYC (family 0x19 model 1, Zen 3) under KVM, with topology
// extensions (0x80000001 ECX bit 22).
const std::vector<Answer> epycZen3 = {
    {0, 0, {0xd, 0x68747541, 0x444d4163, 0x69746e65}}, {0x1, 0, {0xa00f11, 0x20800, 0xfffa3203, 0x178bfbff}},
    {0x80000000, 0, {0x80000021, 0x68747541, 0x444d4163, 0x69746e65}}, {0x80000001, 0, {0xa00f11, 0x40000000, 0x4003f3, 0x2fd3fbff}},
    {0x80000005, 0, {0xff40ff40, 0xff40ff40, 0x20080140, 0x20080140}}, {0x80000006, 0, {0x48002200, 0x68004200, 0x2006140, 0x8009140}},
    {0x8000001d, 0, {0x121, 0x1c0003f, 0x3f, 0}}, {0x8000001d, 1, {0x122, 0x1c0003f, 0x3f, 0}},
    {0x8000001d, 2, {0x143, 0x1c0003f, 0x3ff, 0x2}}, {0x8000001d, 3, {0x4163, 0x3c0003f, 0x7fff, 0x1}}};

std::vector<Answer> WithoutTopologyExtensions(std::vector<Answer> answers) {
  for (Answer& a : answers) a.registers.ecx &= a.leaf == 0x80000001 ? ~(1u << 22) : ~0u;
  return answers;
}

struct Row { const char* processor; std::vector<Answer> answers; const char* source; std::vector<std::string> caches; };

const Row rows[] = {
    {"AMD EPYC Zen 3 (this machine)", epycZen3, "CPUID leaf 0x8000001D",
     {"L1d 32 KiB, 8-way, 64 B lines, shared by 1", "L1i 32 KiB, 8-way, 64 B lines, shared by 1",
      "L2 512 KiB, 8-way, 64 B lines, shared by 1", "L3 32 MiB, 16-way, 64 B lines, shared by 2"}},
    // The same processor read through the older leaves: 0x80000006 EDX gives
    // the L3 of the whole package (512 units of 512 KiB) with code 9, "ways
    // in 0x8000001D".
    {"AMD EPYC Zen 3, legacy leaves", WithoutTopologyExtensions(epycZen3), "CPUID 0x80000005/6",
     {"L1d 32 KiB, 8-way, 64 B lines", "L1i 32 KiB, 8-way, 64 B lines", "L2 512 KiB, 8-way, 64 B lines",
      "L3 256 MiB, 64 B lines"}},
    // AMD Phenom II X6 1100T (family 0x10, Thuban): no topology extensions.
    {"AMD Phenom II X6 1100T",
     {{0, 0, {0x6, 0x68747541, 0x444d4163, 0x69746e65}}, {0x80000000, 0, {0x8000001b, 0x68747541, 0x444d4163, 0x69746e65}},
      {0x80000001, 0, {0x100fa0, 0x10000050, 0x37ff, 0xefd3fbff}}, {0x80000005, 0, {0xff30ff10, 0xff30ff20, 0x40020140, 0x40020140}},
      {0x80000006, 0, {0x20800000, 0x42004200, 0x2008140, 0x30b140}}}, "CPUID 0x80000005/6",
     {"L1d 64 KiB, 2-way, 64 B lines", "L1i 64 KiB, 2-way, 64 B lines", "L2 512 KiB, 16-way, 64 B lines",
      "L3 6 MiB, 48-way, 64 B lines"}},
    // Intel Core, Kaby Lake R (family 6 model 0x8E stepping 10); its leaf 2
    // holds the 0xFF descriptor, "see leaf 4".
    {"Intel Kaby Lake R",
     {{0, 0, {0x16, 0x756e6547, 0x6c65746e, 0x49656e69}}, {0x1, 0, {0x806ea, 0x100800, 0x7ffafbff, 0xbfebfbff}},
      {0x2, 0, {0x76036301, 0xf0b5ff, 0, 0xc30000}}, {0x4, 0, {0x1c004121, 0x1c0003f, 0x3f, 0}},
      {0x4, 1, {0x1c004122, 0x1c0003f, 0x3f, 0}}, {0x4, 2, {0x1c004143, 0xc0003f, 0x3ff, 0}},
      {0x4, 3, {0x1c03c163, 0x2c0003f, 0x1fff, 0x6}}}, "CPUID leaf 4",
     {"L1d 32 KiB, 8-way, 64 B lines, shared by 2", "L1i 32 KiB, 8-way, 64 B lines, shared by 2",
      "L2 256 KiB, 4-way, 64 B lines, shared by 2", "L3 6 MiB, 12-way, 64 B lines, shared by 16"}},
    // Intel Pentium M (Dothan): highest leaf 2; its descriptors name L2, L1i
    // and L1d in that order among TLB and prefetch bytes.
    {"Intel Pentium M (Dothan)",
     {{0, 0, {0x2, 0x756e6547, 0x6c65746e, 0x49656e69}}, {0x2, 0, {0x2b3b001, 0xf0, 0, 0x2c04307d}}}, "CPUID leaf 2",
     {"L1d 32 KiB, 8-way, 64 B lines", "L1i 32 KiB, 8-way, 64 B lines", "L2 2 MiB, 8-way, 64 B lines"}},
    // Leaf 4 lists nothing and leaf 2 only says "see leaf 4": no cache at all.
    {"Intel, no cache listed", {{0, 0, intel}, {2, 0, {0xfeff01, 0xf0, 0, 0}}}, "none", {}},
    {"Intel, two L2 descriptors", {{0, 0, intel}, {2, 0, {1, 0x43, 0, 0x45}}}, "CPUID leaf 2", {"L2 2 MiB, 4-way, 32 B lines"}},
};
}  // namespace

TEST(CacheTopology, RecordedProcessors) {
  for (const Row& row : rows) {
    const CacheTopology topology = TopologyOf(row.answers);
    EXPECT_STREQ(topology.source, row.source) << row.processor;
    std::vector<std::string> caches;
    for (uint32_t i = 0; i < topology.count; ++i) caches.push_back(DescribeCache(topology.caches[i]));
    EXPECT_EQ(caches, row.caches) << row.processor;
  }
}

TEST(CacheTopology, DataLevelsDescriptionsAndComparisons) {
  const CacheTopology processor = TopologyOf(epycZen3);
  CacheLevelInfo data[8];
  ASSERT_EQ(DataCacheLevels(processor, data, 8), 3u);
  EXPECT_TRUE(data[0].kind == CacheData && data[1].sizeBytes == 512 * KiB && data[2].level == 3);
  EXPECT_EQ(DataCacheLevels(processor, data, 2), 2u);  // never past the capacity
  EXPECT_EQ(DescribeCache({1, CacheInstruction, 1536 * KiB, 0, 0, 0, true}), "L1i 1536 KiB, fully associative");

  CacheTopology os = processor;
  os.caches[1].sizeBytes = 64 * KiB;  // the instruction cache does not count
  EXPECT_EQ(CompareCacheTopologies(processor, os), "");
  const std::string warning = " and the operating system report different caches: ", leaf = "the processor (CPUID leaf 0x8000001D)";
  EXPECT_EQ(CompareCacheTopologies(TopologyOf(WithoutTopologyExtensions(epycZen3)), processor),
            "the processor (CPUID 0x80000005/6)" + warning + "L3 256 MiB vs 32 MiB; using the processor's");
  os = processor, os.caches[2] = os.caches[3], os.count = 3;  // no L2
  EXPECT_EQ(CompareCacheTopologies(processor, os), leaf + warning + "L2 512 KiB vs none; using the processor's");
  os.count = 2;  // no L2 and no L3
  EXPECT_EQ(CompareCacheTopologies(os, processor), leaf + warning + "L2 none vs 512 KiB, L3 none vs 32 MiB; using the processor's");
}

TEST(CacheTopologyOnThisMachine, ProcessorAndOperatingSystem) {
  CacheLevelInfo data[8];
  ASSERT_GE(DataCacheLevels(ReadCacheTopology(), data, 8), 2u);  // every x86 processor of this century
  EXPECT_EQ(data[0].level, 1u);
  CacheTopology os;
#ifdef _WIN32
  EXPECT_FALSE(ReadOsCacheTopology(&os));
#else
  ASSERT_TRUE(ReadOsCacheTopology(&os));
  const uint32_t osLevels = DataCacheLevels(os, data, 8);
  ASSERT_GE(osLevels, 2u);
  for (uint32_t i = 0; i < osLevels; ++i) EXPECT_EQ(data[i].level, i + 1);  // one data cache per level, in order
#endif
}

TEST(CoreClock, CyclesPerSecondFromTheChain) {
  // Additions, nanoseconds, hertz: 3.2e15 / 1306122 rounded down, products past 64 bits, fewer additions than nanoseconds.
  const uint64_t rows[][3] = {{3200000, 1000000, 3200000000u}, {3200000, 1306122, 2450000842u},
                              {1000000000000ull, 250000000000ull, 4000000000u}, {999, 1000, 999000000u}, {3200000, 0, 0}};
  for (const auto& row : rows) EXPECT_EQ(CoreClockFromChain(row[0], row[1]), row[2]) << row[0] << " in " << row[1];
  for (uint32_t iterations : {0u, 1u, 1000u}) EXPECT_EQ(RunAdditionChain(iterations), iterations * additionsPerIteration);
  const uint64_t core = MeasureCoreClockHz();  // on this machine
  EXPECT_TRUE(core > 200000000u && core < 10000000000u) << core;
}

TEST(DelayChain, CyclesPerDelayFromTicksAndTheCoreClock) {
  // Ticks, calls, counter hertz, core hertz, hundredths of a cycle per call: a counter slower
  // than the core, one faster, fractions of a cycle kept and the quotient rounded down, a product
  // past 64 bits, refusals.
  const uint64_t rows[][5] = {{1600, 100, 2000000000u, 4000000000u, 3200},
                              {2000000, 1000, 2500000000u, 2000000000u, 160000},
                              {1001, 3, 3000000000u, 2000000000u, 22244},
                              {1000000000000ull, 1, 1000000000u, 5000000000u, 500000000000000ull},
                              {1000, 0, 1000000000u, 1000000000u, 0}, {1000, 3, 0, 1000000000u, 0},
                              {1000, 3, 1000000000u, 0, 0}};
  for (const auto& row : rows)
    EXPECT_EQ(DelayCyclesHundredths(row[0], row[1], row[2], row[3]), row[4]) << row[0] << " / " << row[1];
  for (uint32_t rounds : {0u, 1u, 1000u}) EXPECT_EQ(RunDelayChain(rounds), rounds * delayAdditionsPerRound);
  // On this machine: 4 rounds are 64 dependent additions, never fewer cycles, plus a call.
  const uint64_t hundredths = MeasureDelayCyclesHundredths(DelayRounds(64), MeasureClockFrequency());
  EXPECT_TRUE(hundredths >= 5800 && hundredths < 25600) << hundredths;
}
