// Processor probe on recorded CPUID answers, and the test buffers.
#include "probe/processor.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "measure/state.h"
#include "tests/support/state_reset.h"

namespace {
// Answers by leaf; leaf 2 may give a different answer at each execution.
std::map<uint32_t, CpuidAnswer> recorded;
std::vector<CpuidAnswer> leaf2Answers;
size_t leaf2Executions = 0;

CpuidAnswer Recorded(uint32_t leaf) {
  if (leaf == 2) {
    const CpuidAnswer answer = leaf2Answers.at(leaf2Executions < leaf2Answers.size() ? leaf2Executions : leaf2Answers.size() - 1);
    ++leaf2Executions;
    return answer;
  }
  auto found = recorded.find(leaf);
  return found == recorded.end() ? CpuidAnswer{0, 0, 0, 0} : found->second;
}

const CpuidAnswer intelVendor{0x16, 0x756E6547, 0x6C65746E, 0x49656E69};  // GenuineIntel
const CpuidAnswer amdVendor{0x10, 0x68747541, 0x444D4163, 0x69746E65};    // AuthenticAMD

class Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    recorded.clear();
    leaf2Answers.clear();
    leaf2Executions = 0;
    executeCpuid = Recorded;
  }
  void TearDown() override {
    ReleaseTestBuffers();
    executeCpuid = ExecuteCpuidInstruction;
    commitSourcePages = CommitReadOnlyPages;
    commitDestinationPages = CommitReadWritePages;
    ResetMeasurementStateForTest();
  }
  void Intel(std::vector<CpuidAnswer> leaf2, uint32_t leaf1Edx = 0) {
    recorded[0] = intelVendor;
    recorded[1] = CpuidAnswer{0, 0, 0, leaf1Edx};
    leaf2Answers = leaf2;
  }
};
}  // namespace

TEST_F(Probe, DecodesLeaf2AnswersOfRealProcessors) {
  // Pentium 4 (Northwood): 8 KiB L1 data (0x66), 512 KiB L2 (0x7B).
  Intel({{0x665B5001, 0x00000000, 0x00000000, 0x007B7040}});
  ProbeProcessor();
  EXPECT_EQ(measurementState.l1CacheSize, 8u * 1024);
  EXPECT_EQ(measurementState.l2CacheSize, 512u * 1024);

  // Core 2 Duo E6600: 32 KiB L1 data (0x2C), 4 MiB L2 (0x49).
  SetUp();
  Intel({{0x05B0B101, 0x005657F0, 0x00000000, 0x2CB43049}});
  ProbeProcessor();
  EXPECT_EQ(measurementState.l1CacheSize, 32u * 1024);
  EXPECT_EQ(measurementState.l2CacheSize, 4096u * 1024);
  EXPECT_EQ(measurementState.testBufferSize, 8u * 1048576);  // twice the L2
}

TEST_F(Probe, AnswerWithoutTableBytesKeepsTheDefaults) {
  // This kind of virtual machine answers leaf 2 with no size descriptors.
  Intel({{0x00feff01, 0x000000f0, 0x00000000, 0x00000000}}, 0x06000000);
  ProbeProcessor();
  EXPECT_EQ(measurementState.l1CacheSize, 65536u);
  EXPECT_EQ(measurementState.l2CacheSize, 524288u);
  EXPECT_TRUE(measurementState.hasSse);
  EXPECT_TRUE(measurementState.hasSse2);
  EXPECT_EQ(measurementState.testBufferSize, 2u * 1048576);  // the test area wins over 1 MiB
}

TEST_F(Probe, LaterDescriptorWinsAndBit31AndCountByteAreSkipped) {
  const struct {
    CpuidAnswer answer;
    uint32_t l1, l2;
  } cases[] = {{{0x00000001, 0x00000043, 0, 0x00000045}, 0, 2048},
               {{0x00000001, 0x00000045, 0, 0x00000043}, 0, 512},
               {{0x80002C01, 0x8000002C, 0x80000045, 0x80000043}, 0, 0},  // bit 31 set: no descriptors
               {{0x43000045, 0, 0, 0}, 0, 512},                  // low byte 0x45 is the count
               {{0x2C7D0001, 0, 0, 0}, 32, 2048}};
  for (const auto& c : cases) {
    CacheSizesKiB sizes{0, 0};
    DecodeDescriptorAnswer(c.answer, &sizes);
    EXPECT_EQ(sizes.l1, c.l1) << std::hex << c.answer.eax << " " << c.answer.ebx << " " << c.answer.ecx;
    EXPECT_EQ(sizes.l2, c.l2) << std::hex << c.answer.eax << " " << c.answer.ebx << " " << c.answer.ecx;
  }
}

TEST_F(Probe, EveryTableByteSetsItsLevelAndSize) {
  const struct {
    uint8_t byte;
    uint32_t l1, l2;
  } table[] = {{0x0A, 8, 0},    {0x0C, 16, 0},   {0x2C, 32, 0},   {0x41, 0, 128},  {0x42, 0, 256},  {0x43, 0, 512},
               {0x44, 0, 1024}, {0x45, 0, 2048}, {0x49, 0, 4096}, {0x60, 16, 0},   {0x66, 8, 0},    {0x67, 16, 0},
               {0x68, 32, 0},   {0x78, 0, 1024}, {0x79, 0, 128},  {0x7A, 0, 256},  {0x7B, 0, 512},  {0x7C, 0, 1024},
               {0x7D, 0, 2048}, {0x7F, 0, 512},  {0x82, 0, 256},  {0x83, 0, 512},  {0x84, 0, 1024}, {0x85, 0, 2048},
               {0x86, 0, 512},  {0x87, 0, 1024}};
  for (const auto& row : table) {
    CacheSizesKiB sizes{0, 0};
    DecodeDescriptorAnswer({0x00000001, row.byte, 0, 0}, &sizes);
    EXPECT_EQ(sizes.l1, row.l1) << std::hex << int(row.byte);
    EXPECT_EQ(sizes.l2, row.l2) << std::hex << int(row.byte);
  }
}

TEST_F(Probe, CountByteSetsHowOftenLeaf2RunsAndSizesCarryOver) {
  Intel({{0x00000003, 0x0000002C, 0, 0}, {0x00000000, 0x00000043, 0, 0}, {0x00000000, 0x00000045, 0, 0}});
  ProbeProcessor();
  EXPECT_EQ(leaf2Executions, 3u);
  EXPECT_EQ(measurementState.l1CacheSize, 32u * 1024);
  EXPECT_EQ(measurementState.l2CacheSize, 2048u * 1024);

  for (uint32_t count : {0u, 1u}) {
    SetUp();
    Intel({{count, 0x00000043, 0, 0}, {0, 0x00000045, 0, 0}});
    ProbeProcessor();
    EXPECT_EQ(leaf2Executions, 1u) << "count byte " << count;
    EXPECT_EQ(measurementState.l2CacheSize, 512u * 1024);
  }
}

TEST_F(Probe, AmdTakesTheExtendedLeavesAsReported) {
  recorded[0] = amdVendor;
  recorded[1] = {0, 0, 0, 0x02000000};  // SSE without SSE2
  recorded[0x80000005] = {0, 0, 0x40FF1234, 0};
  recorded[0x80000006] = {0, 0, 0x0200ABCD, 0};
  ProbeProcessor();
  EXPECT_EQ(leaf2Executions, 0u);
  EXPECT_EQ(measurementState.l1CacheSize, 65536u);
  EXPECT_EQ(measurementState.l2CacheSize, 524288u);
  EXPECT_TRUE(measurementState.hasSse);
  EXPECT_FALSE(measurementState.hasSse2);

  SetUp();
  recorded[0] = amdVendor;
  recorded[0x80000005] = {0, 0, 0x40000000, 0};
  recorded[0x80000006] = {0, 0, 0x0000FFFF, 0};  // no L2 reported
  ProbeProcessor();
  EXPECT_EQ(measurementState.l2CacheSize, 0u);
  EXPECT_EQ(measurementState.testBufferSize, 2u * 1048576);  // exactly the test area
}

TEST_F(Probe, NearMissVendorTakesTheDescriptorPath) {
  recorded[0] = {0x10, 0x68747541, 0x444D4164, 0x69746E65};  // "AuthenticAMd"
  leaf2Answers = {{0x00000001, 0x00000044, 0, 0}};
  ProbeProcessor();
  EXPECT_EQ(leaf2Executions, 1u);
  EXPECT_EQ(measurementState.l2CacheSize, 1024u * 1024);
}

TEST_F(Probe, BufferSizeIsTheLargerOfTestAreaAndTwiceL2) {
  measurementState.l2CacheSize = 4u * 1048576;
  measurementState.testAreaSize = 1048576;
  EXPECT_EQ(TestBufferSize(), 8u * 1048576);
  measurementState.testAreaSize = 8u * 1048576;  // equality keeps the common value
  EXPECT_EQ(TestBufferSize(), 8u * 1048576);

  measurementState.l2CacheSize = 524288;
  measurementState.testAreaSize = 4u * 1048576;
  AllocateTestBuffers();
  ASSERT_NE(measurementState.sourceBuffer, nullptr);
  ASSERT_NE(measurementState.destinationBuffer, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(measurementState.sourceBuffer) % 4096, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(measurementState.destinationBuffer) % 4096, 0u);
  // The whole destination is writable; the reallocation replaces both.
  measurementState.destinationBuffer[4u * 1048576 - 1] = 1;
  measurementState.testAreaSize = 1048576;
  AllocateTestBuffers();
  EXPECT_EQ(measurementState.testBufferSize, 1048576u);
}

namespace {
std::string commits;  // "S" source, "D" destination, "F" a failed commit
void* FailingCommit(uint32_t) {
  commits += "F";
  return nullptr;
}
void* LoggedSourceCommit(uint32_t n) {
  commits += "S";
  return CommitReadOnlyPages(n);
}
void* LoggedDestinationCommit(uint32_t n) {
  commits += "D";
  return CommitReadWritePages(n);
}
}  // namespace

TEST_F(Probe, SourceIsCommittedFirstAndAFailedCommitLeavesNeitherBuffer) {
  commits.clear();
  commitSourcePages = LoggedSourceCommit;
  commitDestinationPages = LoggedDestinationCommit;
  AllocateTestBuffers();
  ASSERT_NE(measurementState.sourceBuffer, nullptr);
  EXPECT_EQ(commits, "SD");

  commitDestinationPages = FailingCommit;  // the source succeeds, the destination fails
  AllocateTestBuffers();
  EXPECT_EQ(measurementState.sourceBuffer, nullptr);
  EXPECT_EQ(measurementState.destinationBuffer, nullptr);
  EXPECT_EQ(measurementState.testBufferSize, 0u);

  commits.clear();
  commitDestinationPages = LoggedDestinationCommit;
  commitSourcePages = FailingCommit;
  AllocateTestBuffers();
  EXPECT_EQ(commits, "F");  // nothing more is committed once the source failed
  EXPECT_EQ(measurementState.sourceBuffer, nullptr);
  EXPECT_EQ(measurementState.destinationBuffer, nullptr);
  ReleaseTestBuffers();  // releasing nothing is harmless
}

TEST_F(Probe, SizeBeyondA32BitCountCommitsNothing) {
  measurementState.testAreaSize = 0x100000000ull;
  AllocateTestBuffers();
  EXPECT_EQ(measurementState.sourceBuffer, nullptr);
  EXPECT_EQ(measurementState.destinationBuffer, nullptr);
}

TEST(ProbeOnThisMachine, PrintsWhatItFinds) {
  ResetMeasurementStateForTest();
  char vendor[13];
  ReadVendorText(vendor);
  const CpuidAnswer leaf2 = ExecuteCpuidInstruction(2);
  ProbeProcessor();
  std::printf("vendor %s, leaf 2 %08x/%08x/%08x/%08x, L1 %u bytes, L2 %u bytes, SSE %d, SSE2 %d\n", vendor,
              leaf2.eax, leaf2.ebx, leaf2.ecx, leaf2.edx, measurementState.l1CacheSize,
              measurementState.l2CacheSize, measurementState.hasSse, measurementState.hasSse2);
  EXPECT_TRUE(measurementState.hasSse2);  // every x86 processor that runs this build has it
  EXPECT_NE(measurementState.sourceBuffer, nullptr);
  ReleaseTestBuffers();
  ResetMeasurementStateForTest();
}
