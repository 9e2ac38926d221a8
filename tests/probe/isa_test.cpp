// Instruction-set support from recorded CPUID and XCR0 answers.
#include <gtest/gtest.h>

#include <cstdint>

#include "probe/isa.h"

namespace {

struct Machine {
  const char* name;
  CpuidAnswer leaf0, leaf1, leaf7;
  uint64_t xcr0;  // what XGETBV answers; never asked unless OSXSAVE is set
  IsaSupport expected;
};

const Machine* current = nullptr;
int xgetbvCalls = 0;

CpuidAnswer Recorded(uint32_t leaf, uint32_t subleaf) {
  EXPECT_EQ(subleaf, 0u);
  if (leaf == 0) return current->leaf0;
  if (leaf == 1) return current->leaf1;
  EXPECT_EQ(leaf, 7u) << "unexpected leaf";
  EXPECT_GE(current->leaf0.eax, 7u) << "leaf 7 asked beyond the highest leaf";
  return current->leaf7;
}

uint64_t RecordedXcr(uint32_t index) {
  EXPECT_EQ(index, 0u);
  ++xgetbvCalls;
  return current->xcr0;
}

const CpuidAnswer kIntelLeaf0{0x16, 0x756e6547, 0x6c65746e, 0x49656e69};
// Xeon (Cascade Lake): AVX-512F, AVX2, ERMS, OSXSAVE and AVX.
const CpuidAnswer kCascadeLakeLeaf1{0x50656, 0x12400800, 0x7ffefbff, 0xbfebfbff};
const CpuidAnswer kCascadeLakeLeaf7{0x0, 0xd39ffffb, 0x808, 0xbc000400};
const CpuidAnswer kOsxsaveClear{0x50656, 0x12400800, 0x7ffefbff & ~(1u << 27), 0xbfebfbff};

const Machine kMachines[] = {
    // This machine: AMD EPYC (Zen 3) under a hypervisor; Linux saves x87, SSE, AVX.
    {"EpycZen3", {0xd, 0x68747541, 0x444d4163, 0x69746e65}, {0xa00f11, 0x20800, 0xfffa3203, 0x178bfbff},
     {0x0, 0x219c07ab, 0x400684, 0x10}, 0x7, {true, true, true, true, true, false, true}},
    // Linux with x87, SSE, AVX, opmask, both zmm parts and PKRU saved.
    {"CascadeLake", kIntelLeaf0, kCascadeLakeLeaf1, kCascadeLakeLeaf7, 0x2e7, {true, true, true, true, true, true, true}},
    // An operating system that saves ymm but not zmm state.
    {"CascadeLakeOsWithoutZmm", kIntelLeaf0, kCascadeLakeLeaf1, kCascadeLakeLeaf7, 0x7,
     {true, true, true, true, true, false, true}},
    // An operating system that saves only x87 and SSE state.
    {"CascadeLakeOsWithoutYmm", kIntelLeaf0, kCascadeLakeLeaf1, kCascadeLakeLeaf7, 0x3,
     {true, true, true, false, false, false, true}},
    // OSXSAVE clear: XGETBV would fault, so no wide set, and it is not executed.
    {"OsxsaveClear", kIntelLeaf0, kOsxsaveClear, kCascadeLakeLeaf7, 0x2e7, {true, true, true, false, false, false, true}},
    // Pentium III era: highest leaf 2, so leaf 7 means nothing.
    {"HighestLeafTwo", {0x2, 0x756e6547, 0x6c65746e, 0x49656e69}, {0x673, 0x0, 0x0, 0x0387f9ff}, {0, 0xffffffff, 0, 0},
     0, {true, true, false, false, false, false, false}},
};

void PrintTo(const Machine& m, std::ostream* out) { *out << m.name; }

class IsaDetection : public testing::TestWithParam<Machine> {};

TEST_P(IsaDetection, RecordedAnswers) {
  const Machine& m = GetParam();
  current = &m;
  xgetbvCalls = 0;
  auto savedCpuid = isaCpuid;
  auto savedXgetbv = readExtendedControlRegister;
  isaCpuid = Recorded;
  readExtendedControlRegister = RecordedXcr;
  const IsaSupport got = DetectIsaSupport();
  isaCpuid = savedCpuid;
  readExtendedControlRegister = savedXgetbv;

  const IsaSupport& want = m.expected;
  EXPECT_EQ(got.mmx, want.mmx);
  EXPECT_EQ(got.sse, want.sse);
  EXPECT_EQ(got.sse2, want.sse2);
  EXPECT_EQ(got.avx, want.avx);
  EXPECT_EQ(got.avx2, want.avx2);
  EXPECT_EQ(got.avx512f, want.avx512f);
  EXPECT_EQ(got.erms, want.erms);
  EXPECT_EQ(xgetbvCalls, (m.leaf1.ecx >> 27) & 1 ? 1 : 0) << "XGETBV exactly when OSXSAVE is set";
}

INSTANTIATE_TEST_SUITE_P(Machines, IsaDetection, testing::ValuesIn(kMachines),
                         [](const testing::TestParamInfo<Machine>& info) { return std::string(info.param.name); });

// On the machine at hand the real instructions agree with the compiler's own
// run-time check, which also asks the operating system.
TEST(IsaDetection, AgreesWithCompilerRuntimeCheck) {
  __builtin_cpu_init();
  const IsaSupport isa = DetectIsaSupport();
  EXPECT_EQ(isa.sse2, __builtin_cpu_supports("sse2") != 0);
  EXPECT_EQ(isa.avx, __builtin_cpu_supports("avx") != 0);
  EXPECT_EQ(isa.avx2, __builtin_cpu_supports("avx2") != 0);
  EXPECT_EQ(isa.avx512f, __builtin_cpu_supports("avx512f") != 0);
}

}  // namespace
