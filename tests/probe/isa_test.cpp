// Instruction-set support from recorded CPUID and XCR0 answers.
#include <gtest/gtest.h>

#include <string>

#include "probe/isa.h"

namespace {
struct Machine { const char* name; CpuidAnswer leaf0, leaf1, leaf7; uint64_t xcr0; const char* expected; };  // xcr0: XGETBV's answer
const Machine* current = nullptr;
int xgetbvCalls = 0;

// Leaves 0, 1 and 7 (sub-leaf 0) as recorded; anything else answers zeros.
CpuidAnswer Recorded(uint32_t leaf, uint32_t subleaf) {
  if (subleaf == 0 && leaf <= 1) return leaf ? current->leaf1 : current->leaf0;
  return leaf == 7 && subleaf == 0 ? current->leaf7 : CpuidAnswer{0, 0, 0, 0};
}
uint64_t RecordedXcr(uint32_t index) { return ++xgetbvCalls, index == 0 ? current->xcr0 : 0; }

const CpuidAnswer kIntel{0x16, 0x756e6547, 0x6c65746e, 0x49656e69};
// Xeon (Cascade Lake): AVX-512F, AVX2, ERMS, OSXSAVE and AVX.
const CpuidAnswer kCascadeLake1{0x50656, 0x12400800, 0x7ffefbff, 0xbfebfbff}, kCascadeLake7{0x0, 0xd39ffffb, 0x808, 0xbc000400};
const Machine kMachines[] = {
    // This machine: AMD EPYC (Zen 3) under a hypervisor; Linux saves x87, SSE, AVX.
    {"EpycZen3", {0xd, 0x68747541, 0x444d4163, 0x69746e65}, {0xa00f11, 0x20800, 0xfffa3203, 0x178bfbff}, {0x0, 0x219c07ab, 0x400684, 0x10},
     0x7, "mmx sse sse2 avx avx2 erms "},
    // Linux saving x87, SSE, AVX, opmask, both zmm parts and PKRU; then operating systems saving less.
    {"CascadeLake", kIntel, kCascadeLake1, kCascadeLake7, 0x2e7, "mmx sse sse2 avx avx2 avx512f erms "},
    {"CascadeLakeOsWithoutZmm", kIntel, kCascadeLake1, kCascadeLake7, 0x7, "mmx sse sse2 avx avx2 erms "},
    {"CascadeLakeOsWithoutYmm", kIntel, kCascadeLake1, kCascadeLake7, 0x3, "mmx sse sse2 erms "},
    // OSXSAVE clear: XGETBV would fault, so it is not executed and no wide set counts.
    {"OsxsaveClear", kIntel, {0x50656, 0x12400800, 0x7ffefbff & ~(1u << 27), 0xbfebfbff}, kCascadeLake7, 0x2e7, "mmx sse sse2 erms "},
    // Pentium III era: highest leaf 2, so leaf 7 means nothing.
    {"HighestLeafTwo", {0x2, 0x756e6547, 0x6c65746e, 0x49656e69}, {0x673, 0x0, 0x0, 0x0387f9ff}, {0, 0xffffffff, 0, 0}, 0, "mmx sse "}};
}  // namespace

TEST(IsaDetection, RecordedAnswers) {
  const auto savedCpuid = isaCpuid;
  const auto savedXgetbv = readExtendedControlRegister;
  isaCpuid = Recorded, readExtendedControlRegister = RecordedXcr;
  for (const Machine& machine : kMachines) {
    current = &machine, xgetbvCalls = 0;
    const IsaSupport i = DetectIsaSupport();
    EXPECT_EQ(std::string(i.mmx ? "mmx " : "") + (i.sse ? "sse " : "") + (i.sse2 ? "sse2 " : "") + (i.avx ? "avx " : "") +
                  (i.avx2 ? "avx2 " : "") + (i.avx512f ? "avx512f " : "") + (i.erms ? "erms " : ""), machine.expected) << machine.name;
    EXPECT_EQ(xgetbvCalls, (machine.leaf1.ecx >> 27) & 1 ? 1 : 0) << machine.name << ": XGETBV exactly when OSXSAVE is set";
  }
  isaCpuid = savedCpuid, readExtendedControlRegister = savedXgetbv;
}

// On the machine at hand the real instructions agree with the compiler's own
// run-time check, which also asks the operating system.
TEST(IsaDetection, AgreesWithCompilerRuntimeCheck) {
  __builtin_cpu_init();
  const IsaSupport isa = DetectIsaSupport();
  EXPECT_TRUE(isa.sse2 == (__builtin_cpu_supports("sse2") != 0) && isa.avx == (__builtin_cpu_supports("avx") != 0) &&
              isa.avx2 == (__builtin_cpu_supports("avx2") != 0) && isa.avx512f == (__builtin_cpu_supports("avx512f") != 0));
}
