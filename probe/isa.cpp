#include "probe/isa.h"

#include <cpuid.h>

namespace {

CpuidAnswer ExecuteIsaCpuid(uint32_t leaf, uint32_t subleaf) {
  CpuidAnswer answer{0, 0, 0, 0};
  __cpuid_count(leaf, subleaf, answer.eax, answer.ebx, answer.ecx, answer.edx);
  return answer;
}

// XGETBV raises #UD unless CR4.OSXSAVE is set; callers check CPUID first.
uint64_t ExecuteXgetbv(uint32_t index) {
  uint32_t low, high;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(index));
  return (uint64_t{high} << 32) | low;
}

bool Bit(uint32_t value, int bit) { return (value >> bit) & 1u; }

constexpr uint64_t kYmmState = 0x06;  // XCR0: SSE and AVX state
constexpr uint64_t kZmmState = 0xE6;  // and opmask, ZMM_Hi256, Hi16_ZMM

}  // namespace

CpuidAnswer (*isaCpuid)(uint32_t leaf, uint32_t subleaf) = ExecuteIsaCpuid;
uint64_t (*readExtendedControlRegister)(uint32_t index) = ExecuteXgetbv;

IsaSupport DetectIsaSupport() {
  IsaSupport isa{};
  const uint32_t maxLeaf = isaCpuid(0, 0).eax;
  if (maxLeaf < 1) return isa;
  const CpuidAnswer leaf1 = isaCpuid(1, 0);
  isa.mmx = Bit(leaf1.edx, 23);
  isa.sse = Bit(leaf1.edx, 25);
  isa.sse2 = Bit(leaf1.edx, 26);
  const CpuidAnswer leaf7 = maxLeaf >= 7 ? isaCpuid(7, 0) : CpuidAnswer{0, 0, 0, 0};
  isa.erms = Bit(leaf7.ebx, 9);

  const uint64_t savedState = Bit(leaf1.ecx, 27) ? readExtendedControlRegister(0) : 0;
  const bool osSavesYmm = (savedState & kYmmState) == kYmmState;
  const bool osSavesZmm = (savedState & kZmmState) == kZmmState;
  isa.avx = Bit(leaf1.ecx, 28) && osSavesYmm;
  isa.avx2 = isa.avx && Bit(leaf7.ebx, 5);
  isa.avx512f = Bit(leaf7.ebx, 16) && osSavesZmm;
  return isa;
}
