// Processor probe on recorded CPUID answers, and the test buffers.
#include "probe/processor.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/os.h"
#include "probe/processor_identity.h"
#include "record/state.h"
#include "tests/support/state_reset.h"

namespace {
// Answers by leaf; leaf 2 gives the next of its answers at each execution.
std::map<uint32_t, CpuidAnswer> recorded;
std::vector<CpuidAnswer> leaf2Answers;
size_t leaf2Executions = 0;

CpuidAnswer Recorded(uint32_t leaf) {
  if (leaf == 2) return leaf2Answers.at(std::min(leaf2Executions++, leaf2Answers.size() - 1));
  return recorded.count(leaf) ? recorded[leaf] : CpuidAnswer{0, 0, 0, 0};
}

std::string commits;  // "S" source, "D" destination, "F" a failed commit
void* FailingCommit(uint32_t) { return commits += "F", nullptr; }
void* LoggedSourceCommit(uint32_t n) { return commits += "S", CommitReadOnlyPages(n); }
void* LoggedDestinationCommit(uint32_t n) { return commits += "D", CommitReadWritePages(n); }

class Probe : public ::testing::Test {
 protected:
  void SetUp() override { ResetMeasurementStateForTest(), executeCpuid = Recorded; }
  void TearDown() override {
    ReleaseTestBuffers(), ResetMeasurementStateForTest(), executeCpuid = ExecuteCpuidInstruction;
    commitSourcePages = CommitReadOnlyPages, commitDestinationPages = CommitReadWritePages;
  }
};
}  // namespace

TEST_F(Probe, RecordedProcessors) {
  const CpuidAnswer intel{0x16, 0x756E6547, 0x6C65746E, 0x49656E69}, amd{0x10, 0x68747541, 0x444D4163, 0x69746E65};
  const CpuidAnswer nearAmd{0x10, 0x68747541, 0x444D4164, 0x69746E65};  // "AuthenticAMd"
  const uint32_t KiB = 1024, MiB = 1048576;
  // features: leaf 1 EDX; amdL1, amdL2: ECX of 0x80000005 and 0x80000006; the
  // buffers are the larger of the test area (2 MiB) and twice the L2.
  const struct { const char* name; CpuidAnswer vendor; uint32_t features; std::vector<CpuidAnswer> leaf2;
    uint32_t amdL1, amdL2, l1, l2; bool sse, sse2; size_t leaf2Runs; uint32_t bufferSize; } rows[] = {
      {"Pentium 4", intel, 0, {{0x665B5001, 0, 0, 0x007B7040}}, 0, 0, 8 * KiB, 512 * KiB, false, false, 1, 2 * MiB},
      {"Core 2 Duo", intel, 0, {{0x05B0B101, 0x005657F0, 0, 0x2CB43049}}, 0, 0, 32 * KiB, 4 * MiB, 0, 0, 1, 8 * MiB},
      {"VM, no table bytes", intel, 0x06000000, {{0x00feff01, 0xf0, 0, 0}}, 0, 0, 64 * KiB, 512 * KiB, 1, 1, 1, 2 * MiB},
      {"count 3, sizes carry over", intel, 0, {{3, 0x2C, 0, 0}, {0, 0x43, 0, 0}, {0, 0x45, 0, 0}}, 0, 0, 32 * KiB, 2 * MiB, 0, 0, 3, 4 * MiB},
      {"count 0", intel, 0, {{0, 0x43, 0, 0}, {0, 0x45, 0, 0}}, 0, 0, 64 * KiB, 512 * KiB, 0, 0, 1, 2 * MiB},
      {"count 1", intel, 0, {{1, 0x43, 0, 0}, {0, 0x45, 0, 0}}, 0, 0, 64 * KiB, 512 * KiB, 0, 0, 1, 2 * MiB},
      {"AMD, SSE only", amd, 0x02000000, {}, 0x20FF1234, 0x0400ABCD, 32 * KiB, 1 * MiB, 1, 0, 0, 2 * MiB},
      {"AMD, no L2", amd, 0, {}, 0x40000000, 0x0000FFFF, 64 * KiB, 0, 0, 0, 0, 2 * MiB},
      {"near-miss vendor", nearAmd, 0, {{1, 0x44, 0, 0}}, 0x20000000, 0x02000000, 64 * KiB, 1 * MiB, 0, 0, 1, 2 * MiB}};
  for (const auto& row : rows) {
    SetUp(), leaf2Answers = row.leaf2, leaf2Executions = 0;
    recorded = {{0, row.vendor}, {1, {0, 0, 0, row.features}}, {0x80000005, {0, 0, row.amdL1, 0}}, {0x80000006, {0, 0, row.amdL2, 0}}};
    ProbeProcessor();
    const MeasurementState& m = measurementState;
    EXPECT_EQ((std::vector<uint64_t>{m.l1CacheSize, m.l2CacheSize, m.hasSse, m.hasSse2, leaf2Executions, m.testBufferSize}),
              (std::vector<uint64_t>{row.l1, row.l2, row.sse, row.sse2, row.leaf2Runs, row.bufferSize})) << row.name;
    ReleaseTestBuffers();
  }
}

// Identities from recorded answers: a Core i7-8700K on bare metal (family 6,
// extended model 9), an EPYC under KVM (family 0xF + extended 0xA, brand
// padded with a space) and an Athlon 64 X2 without brand leaves (family 0xF,
// extended model 2).
TEST_F(Probe, IdentityFromRecordedAnswers) {
  const struct { std::map<uint32_t, CpuidAnswer> answers; const char* text; } rows[] = {
      {{{0, {0x16, 0x756e6547, 0x6c65746e, 0x49656e69}}, {1, {0x000906ea, 0x00100800, 0x7ffafbbf, 0xbfebfbff}},
        {0x40000000, {0x00000e74, 0x0000125c, 0x00000064, 0}},  // leaf 0x16's answer: no hypervisor behind it
        {0x80000000, {0x80000008, 0, 0, 0}}, {0x80000002, {0x65746e49, 0x2952286c, 0x726f4320, 0x4d542865}},
        {0x80000003, {0x37692029, 0x3037382d, 0x43204b30, 0x40205550}}, {0x80000004, {0x372e3320, 0x7a484730, 0, 0}}},
       "GenuineIntel|Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz|6|158|10|"},
      {{{0, {0x10, 0x68747541, 0x444d4163, 0x69746e65}}, {1, {0x00a00f11, 0x01020800, 0xfffa3203, 0x178bfbff}},
        {0x40000000, {0x40000001, 0x4b4d564b, 0x564b4d56, 0x0000004d}}, {0x80000000, {0x80000022, 0, 0, 0}},
        {0x80000002, {0x20444d41, 0x43595045, 0x20, 0}}},
       "AuthenticAMD|AMD EPYC|25|1|1|KVMKVMKVM"},
      {{{0, {1, 0x68747541, 0x444d4163, 0x69746e65}}, {1, {0x00020f32, 0, 0, 0}}, {0x80000000, {0x80000001, 0, 0, 0}}},
       "AuthenticAMD||15|35|2|"}};
  for (const auto& row : rows) {
    recorded = row.answers;
    const ProcessorIdentity id = DecodeProcessorIdentity(Recorded);
    EXPECT_EQ(id.vendor + "|" + id.brand + "|" + std::to_string(id.family) + "|" + std::to_string(id.model) + "|" +
                  std::to_string(id.stepping) + "|" + id.hypervisor,
              row.text);
  }
}

TEST_F(Probe, DescriptorAnswers) {
  // The later descriptor wins; a register with bit 31 set holds none; the low
  // byte of EAX is the count. Then every byte of the table, alone in EBX.
  std::vector<std::pair<CpuidAnswer, CacheSizesKiB>> rows = {
      {{1, 0x43, 0, 0x45}, {0, 2048}}, {{1, 0x45, 0, 0x43}, {0, 512}}, {{0x80002C01, 0, 0, 0}, {0, 0}}, {{1, 0x8000002C, 0, 0}, {0, 0}},
      {{1, 0, 0x80000045, 0}, {0, 0}}, {{1, 0, 0, 0x80000043}, {0, 0}}, {{0x43000045, 0, 0, 0}, {0, 512}}, {{0x2C7D0001, 0, 0, 0}, {32, 2048}}};
  const uint32_t table[][3] = {  // byte, L1 KiB, L2 KiB
      {0x0A, 8, 0}, {0x0C, 16, 0}, {0x2C, 32, 0}, {0x41, 0, 128}, {0x42, 0, 256}, {0x43, 0, 512}, {0x44, 0, 1024}, {0x45, 0, 2048},
      {0x49, 0, 4096}, {0x60, 16, 0}, {0x66, 8, 0}, {0x67, 16, 0}, {0x68, 32, 0}, {0x78, 0, 1024}, {0x79, 0, 128}, {0x7A, 0, 256},
      {0x7B, 0, 512}, {0x7C, 0, 1024}, {0x7D, 0, 2048}, {0x7F, 0, 512}, {0x82, 0, 256}, {0x83, 0, 512}, {0x84, 0, 1024},
      {0x85, 0, 2048}, {0x86, 0, 512}, {0x87, 0, 1024}};
  for (const auto& row : table) rows.push_back({{1, row[0], 0, 0}, {row[1], row[2]}});
  for (const auto& row : rows) {
    CacheSizesKiB sizes{0, 0};
    DecodeDescriptorAnswer(row.first, &sizes);
    EXPECT_TRUE(sizes.l1 == row.second.l1 && sizes.l2 == row.second.l2) << std::hex << row.first.eax << " " << row.first.ebx;
  }
}

TEST_F(Probe, BuffersAreTheLargerOfTestAreaAndTwiceL2) {
  measurementState.l2CacheSize = 4u * 1048576, measurementState.testAreaSize = 1048576;
  EXPECT_EQ(TestBufferSize(), 8u * 1048576);
  measurementState.testAreaSize = 16u * 1048576;
  EXPECT_EQ(TestBufferSize(), 16u * 1048576);
  AllocateTestBuffers();
  ASSERT_NE(measurementState.sourceBuffer, nullptr);
  EXPECT_EQ((reinterpret_cast<uintptr_t>(measurementState.sourceBuffer) | reinterpret_cast<uintptr_t>(measurementState.destinationBuffer)) % 4096, 0u);
  measurementState.destinationBuffer[16u * 1048576 - 1] = 1;  // the whole destination is writable
  measurementState.testAreaSize = 0x100000000ull, AllocateTestBuffers();  // beyond a 32-bit count: nothing is committed
  EXPECT_TRUE(!measurementState.sourceBuffer && !measurementState.destinationBuffer);
}

TEST_F(Probe, SourceIsCommittedFirstAndAFailedCommitLeavesNeitherBuffer) {
  const struct { void* (*source)(uint32_t); void* (*destination)(uint32_t); const char* commits; } rows[] = {
      {LoggedSourceCommit, LoggedDestinationCommit, "SD"}, {LoggedSourceCommit, FailingCommit, "SF"},
      {FailingCommit, LoggedDestinationCommit, "F"}};  // nothing more once the source failed
  for (const auto& row : rows) {
    AllocateTestBuffers();  // buffers of an earlier allocation, to be replaced
    commits.clear(), commitSourcePages = row.source, commitDestinationPages = row.destination, AllocateTestBuffers();
    const bool made = commits == "SD";
    const MeasurementState& m = measurementState;
    EXPECT_TRUE(commits == row.commits && (m.sourceBuffer != nullptr) == made && (m.destinationBuffer != nullptr) == made &&
                m.testBufferSize == (made ? 2u * 1048576 : 0u)) << row.commits << " " << commits;
    commitSourcePages = CommitReadOnlyPages, commitDestinationPages = CommitReadWritePages;
  }
}

TEST_F(Probe, OnThisMachineFindsSse2AndCommitsTheBuffers) {
  executeCpuid = ExecuteCpuidInstruction;
  ProbeProcessor();
  EXPECT_TRUE(measurementState.hasSse2 && measurementState.sourceBuffer);  // every x86 processor running this build
}
