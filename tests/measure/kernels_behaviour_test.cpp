// Behaviour of the transfer kernels, the wide ones too where the build has
// them: which bytes they load and store, what they leave in memory and in
// their registers, and that floating point still works after the MMX kernels.
// Ranges sit against inaccessible pages, so any access outside them shows up
// as a recorded fault. Wide kernels the processor or the operating system
// does not support are skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "measure/kernels.h"
#include "tests/measure/kernels_page_arena.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "measure/kernels_wide.h"
#include "probe/isa.h"
#endif

// kernels_registers.S and, for the wide kernels, kernels_wide_registers.S.
extern "C" {
void CallWithRegisters(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
void CallWithYmm(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
void CallWithZmm(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
}

namespace {

using kerneltest::Access;
using kerneltest::Fault;
using kerneltest::PageArena;

enum class Family { Read, Write, Copy };
// The registers a kernel works on; None: the string instructions, which
// store zero bytes and leave the vector registers alone.
enum class Registers { Mmx, Xmm, Ymm, Zmm, None };

struct Kernel {
  const char* name;
  void (*function)(void);
  Family family;
  uint32_t step;
  Registers registers;
  int loadedRegisters;  // registers a read or copy ends up loading
};

// Where a kernel's registers sit in the helpers' in/out blocks: mm0..mm7 at
// 0, xmm0..xmm7 at 64 (CallWithRegisters); ymm0..3 or zmm0..3 at 0.
struct RegisterFile {
  size_t offset, width, count;
};
RegisterFile FileOf(Registers r) {
  switch (r) {
    case Registers::Mmx: return {0, 8, 8};
    case Registers::Xmm: return {64, 16, 8};
    case Registers::Ymm: return {0, 32, 4};
    case Registers::Zmm: return {0, 64, 4};
    case Registers::None: break;
  }
  return {0, 0, 0};
}

template <typename F>
void (*Erase(F* f))(void) {
  return reinterpret_cast<void (*)(void)>(f);
}

const Kernel kKernels[] = {
    {"ReadMmx", Erase(ReadMmx), Family::Read, 128, Registers::Mmx, 8},
    {"ReadMmxPrefetch", Erase(ReadMmxPrefetch), Family::Read, 64, Registers::Mmx, 8},
    {"ReadSse", Erase(ReadSse), Family::Read, 16, Registers::Xmm, 1},
    {"ReadSsePrefetch", Erase(ReadSsePrefetch), Family::Read, 128, Registers::Xmm, 8},
    {"ReadSse2", Erase(ReadSse2), Family::Read, 16, Registers::Xmm, 1},
    {"ReadSse2Prefetch", Erase(ReadSse2Prefetch), Family::Read, 16, Registers::Xmm, 1},
    {"WriteMmx", Erase(WriteMmx), Family::Write, 64, Registers::Mmx, 0},
    {"WriteMmxNonTemporal", Erase(WriteMmxNonTemporal), Family::Write, 64, Registers::Mmx, 0},
    {"WriteSse", Erase(WriteSse), Family::Write, 128, Registers::Xmm, 0},
    {"WriteSseNonTemporal", Erase(WriteSseNonTemporal), Family::Write, 128, Registers::Xmm, 0},
    {"WriteSse2", Erase(WriteSse2), Family::Write, 128, Registers::Xmm, 0},
    {"WriteSse2NonTemporal", Erase(WriteSse2NonTemporal), Family::Write, 128, Registers::Xmm, 0},
    {"CopyMmx", Erase(CopyMmx), Family::Copy, 128, Registers::Mmx, 8},
    {"CopyMmxNonTemporal", Erase(CopyMmxNonTemporal), Family::Copy, 128, Registers::Mmx, 8},
    {"CopySseNonTemporal", Erase(CopySseNonTemporal), Family::Copy, 128, Registers::Xmm, 8},
    {"CopySse2", Erase(CopySse2), Family::Copy, 128, Registers::Xmm, 8},
};

#ifdef LORVANTA_HAVE_WIDE_KERNELS
const Kernel kWideKernels[] = {
    {"ReadAvx", Erase(ReadAvx), Family::Read, 128, Registers::Ymm, 4},
    {"ReadAvxPrefetch", Erase(ReadAvxPrefetch), Family::Read, 128, Registers::Ymm, 4},
    {"WriteAvx", Erase(WriteAvx), Family::Write, 128, Registers::Ymm, 0},
    {"WriteAvxNonTemporal", Erase(WriteAvxNonTemporal), Family::Write, 128, Registers::Ymm, 0},
    {"CopyAvx", Erase(CopyAvx), Family::Copy, 128, Registers::Ymm, 4},
    {"CopyAvxNonTemporal", Erase(CopyAvxNonTemporal), Family::Copy, 128, Registers::Ymm, 4},
    {"ReadAvx512", Erase(ReadAvx512), Family::Read, 256, Registers::Zmm, 4},
    {"ReadAvx512Prefetch", Erase(ReadAvx512Prefetch), Family::Read, 256, Registers::Zmm, 4},
    {"WriteAvx512", Erase(WriteAvx512), Family::Write, 256, Registers::Zmm, 0},
    {"WriteAvx512NonTemporal", Erase(WriteAvx512NonTemporal), Family::Write, 256, Registers::Zmm, 0},
    {"CopyAvx512", Erase(CopyAvx512), Family::Copy, 256, Registers::Zmm, 4},
    {"CopyAvx512NonTemporal", Erase(CopyAvx512NonTemporal), Family::Copy, 256, Registers::Zmm, 4},
    {"CopyRepMovsb", Erase(CopyRepMovsb), Family::Copy, 1, Registers::None, 0},
    {"WriteRepStosb", Erase(WriteRepStosb), Family::Write, 1, Registers::None, 0},
};
#endif

constexpr size_t kMmxXmmBytes = 192;    // mm0..mm7, then xmm0..xmm7
constexpr size_t kRegisterBytes = 256;  // the largest in/out block: zmm0..zmm3
constexpr uint8_t kUntouched = 0xEE;

uint8_t SourceByte(size_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); }
uint8_t RegisterByte(size_t i) { return static_cast<uint8_t>(0x51 + 3 * i); }

std::string Describe(const std::vector<Fault>& faults, const uint8_t* origin) {
  std::string text;
  for (const Fault& f : faults) {
    text += (f.write ? " write at " : " read at ") +
            std::to_string(static_cast<long long>(f.address - reinterpret_cast<uintptr_t>(origin)));
  }
  return text.empty() ? "none" : text;
}

// x87 arithmetic (long double stays on the x87 stack on both targets).
long double X87Sample() {
  volatile long double a = 1.25L, b = 3.0L;
  return a * b + a / b;
}

// Pages of one test: guard, source, guard, destination, guard. The source is
// read-only as in the program, so a store into it is a fault too.
struct Layout {
  explicit Layout(uint32_t bytes)
      : pages((bytes + PageArena::PageSize() - 1) / PageArena::PageSize() + 1), arena(2 * pages + 3) {
    for (size_t i = 0; i < pages * PageArena::PageSize(); ++i) SourceArea()[i] = SourceByte(i);
    std::memset(DestinationArea(), kUntouched, pages * PageArena::PageSize());
    arena.SetAccess(0, 1, Access::None);
    arena.SetAccess(1, pages, Access::Read);
    arena.SetAccess(pages + 1, 1, Access::None);
    arena.SetAccess(2 * pages + 2, 1, Access::None);
  }
  uint8_t* SourceArea() const { return arena.Page(1); }
  uint8_t* DestinationArea() const { return arena.Page(pages + 2); }
  size_t AreaBytes() const { return pages * PageArena::PageSize(); }

  size_t pages;
  PageArena arena;
};

void PrintTo(const Kernel& kernel, std::ostream* out) { *out << kernel.name; }

// Why a kernel cannot run here, or nullptr when it can.
const char* MissingSupport(const Kernel& k) {
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  static const IsaSupport isa = DetectIsaSupport();
  if (k.registers == Registers::Ymm && !isa.avx) return "AVX, which this processor or its operating system lacks";
  if (k.registers == Registers::Zmm && !isa.avx512f)
    return "AVX-512F, which this processor or its operating system lacks";
#else
  (void)k;
#endif
  return nullptr;
}

// Runs the kernel through the helper that fills and captures its registers.
void Call(const Kernel& k, const uint8_t* in, uint8_t* out, uintptr_t a0, uintptr_t a1, uintptr_t a2) {
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  if (k.registers == Registers::Ymm) return CallWithYmm(in, out, k.function, a0, a1, a2);
  if (k.registers == Registers::Zmm) return CallWithZmm(in, out, k.function, a0, a1, a2);
#endif
  CallWithRegisters(in, out, k.function, a0, a1, a2);
}

// Byte i of a write kernel's range: the register file repeated, or zero.
uint8_t Written(const Kernel& k, const uint8_t* in, size_t i) {
  const RegisterFile file = FileOf(k.registers);
  if (k.registers == Registers::None) return 0;
  return in[file.offset + i % (file.width * file.count)];
}

class KernelTest : public testing::TestWithParam<Kernel> {
 protected:
  void SetUp() override {
    if (const char* missing = MissingSupport(GetParam())) GTEST_SKIP() << GetParam().name << " needs " << missing;
  }
};

// For the range flush against the guard page before it and flush against the
// guard page after it: the kernel touches exactly its range and leaves the
// expected bytes in memory and the expected values in its registers.
TEST_P(KernelTest, TouchesExactlyItsRange) {
  const Kernel& k = GetParam();
  for (uint32_t bytes : {k.step, 2048u, 3u * 4096u}) {
    for (bool flushToEnd : {false, true}) {
      SCOPED_TRACE(std::to_string(bytes) + (flushToEnd ? " bytes ending at a guard page" : " bytes after a guard page"));
      Layout layout(bytes);
      size_t offset = flushToEnd ? layout.AreaBytes() - bytes : 0;
      const uint8_t* source = layout.SourceArea() + offset;
      uint8_t* destination = layout.DestinationArea() + offset;

      uint8_t in[kRegisterBytes], out[kRegisterBytes];
      for (size_t i = 0; i < kRegisterBytes; ++i) in[i] = RegisterByte(i);
      uintptr_t a0 = reinterpret_cast<uintptr_t>(k.family == Family::Write ? destination : source);
      uintptr_t a1 = k.family == Family::Copy ? reinterpret_cast<uintptr_t>(destination) : bytes;
      Call(k, in, out, a0, a1, bytes);

      std::vector<Fault> faults = layout.arena.TakeFaults();
      EXPECT_TRUE(faults.empty()) << "faults:" << Describe(faults, layout.SourceArea());

      // Source never changes; the destination changes exactly in the range.
      for (size_t i = 0; i < layout.AreaBytes(); ++i)
        ASSERT_EQ(layout.SourceArea()[i], SourceByte(i)) << "source byte " << i;
      for (size_t i = 0; i < layout.AreaBytes(); ++i) {
        uint8_t expected = kUntouched;
        if (i >= offset && i < offset + bytes) {
          if (k.family == Family::Copy) expected = SourceByte(i);
          if (k.family == Family::Write) expected = Written(k, in, i - offset);
        }
        ASSERT_EQ(layout.DestinationArea()[i], expected) << "destination byte " << i;
      }

      // Registers: a read or copy leaves in register j the bytes of the last
      // iteration's load into it; every other register keeps its value, and
      // so do xmm6 and xmm7 where the caller owns them (64-bit Windows). The
      // closing vzeroupper of the wide kernels clears all above 16 bytes.
      uint8_t expected[kRegisterBytes];
      std::memcpy(expected, in, kRegisterBytes);
      const RegisterFile file = FileOf(k.registers);
      uint8_t* loaded = expected + file.offset;
      size_t lastLoads = offset + bytes - k.loadedRegisters * file.width;
      size_t kept = k.loadedRegisters;
#ifdef _WIN64
      if (k.registers == Registers::Xmm && kept > 6) kept = 6;
#endif
      for (size_t j = 0; j < kept * file.width; ++j) loaded[j] = SourceByte(lastLoads + j);
      const bool wide = k.registers == Registers::Ymm || k.registers == Registers::Zmm;
      if (wide) {
        for (size_t j = 0; j < file.count * file.width; ++j)
          if (j % file.width >= 16) loaded[j] = 0;
      }
      const size_t checked = wide ? file.count * file.width : kMmxXmmBytes;
      for (size_t j = 0; j < checked; ++j) {
        const size_t width = wide ? file.width : j < 64 ? 8 : 16;
        const size_t at = wide || j < 64 ? j : j - 64;
        ASSERT_EQ(out[j], expected[j]) << (wide ? (file.width == 32 ? "ymm" : "zmm") : j < 64 ? "mm" : "xmm")
                                       << at / width << " byte " << at % width;
      }
    }
  }
}

// Whole iterations only: a count of zero or one short of a step touches
// nothing, not even a pointer into an inaccessible page; one and a half steps
// ending at that page run exactly one step.
TEST_P(KernelTest, PartialStepsAreNotRun) {
  const Kernel& k = GetParam();
  PageArena arena(2);
  arena.SetAccess(1, 1, Access::None);
  uint8_t* guard = arena.Page(1);
  uint8_t in[kRegisterBytes], out[kRegisterBytes];
  for (size_t i = 0; i < kRegisterBytes; ++i) in[i] = RegisterByte(i);
  auto run = [&](uint8_t* p, uint32_t bytes) {
    uintptr_t a = reinterpret_cast<uintptr_t>(p);
    Call(k, in, out, a, k.family == Family::Copy ? a : bytes, bytes);
    return arena.TakeFaults();
  };
  for (uint32_t bytes : {0u, k.step - 1}) {
    std::vector<Fault> faults = run(guard, bytes);
    EXPECT_TRUE(faults.empty()) << bytes << " bytes, faults:" << Describe(faults, guard);
  }
  uint8_t* start = guard - k.step;
  std::memset(arena.Page(0), kUntouched, PageArena::PageSize());
  std::vector<Fault> faults = run(start, k.step + k.step / 2);
  EXPECT_TRUE(faults.empty()) << "faults:" << Describe(faults, start);
  if (k.family == Family::Write) {
    for (uint32_t i = 0; i < k.step; ++i) ASSERT_EQ(start[i], Written(k, in, i)) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(AllTransferKernels, KernelTest, testing::ValuesIn(kKernels),
                         [](const testing::TestParamInfo<Kernel>& info) { return std::string(info.param.name); });
#ifdef LORVANTA_HAVE_WIDE_KERNELS
INSTANTIATE_TEST_SUITE_P(WideKernels, KernelTest, testing::ValuesIn(kWideKernels),
                         [](const testing::TestParamInfo<Kernel>& info) { return std::string(info.param.name); });
#endif

// Each MMX kernel hands the registers back to x87 code: the same calculation
// gives the same result before and after it.
TEST(MmxKernels, LeaveFloatingPointWorking) {
  PageArena arena(1);
  uint8_t* buffer = arena.Page(0);
  const long double before = X87Sample();
  ASSERT_TRUE(before > 4.16L && before < 4.17L) << "x87 works before any MMX kernel";
  auto check = [&](const char* name) { EXPECT_EQ(X87Sample(), before) << "after " << name; };
  ReadMmx(buffer, 2048);
  check("ReadMmx");
  ReadMmxPrefetch(buffer, 2048);
  check("ReadMmxPrefetch");
  WriteMmx(buffer, 2048);
  check("WriteMmx");
  WriteMmxNonTemporal(buffer, 2048);
  check("WriteMmxNonTemporal");
  CopyMmx(buffer, buffer + 2048, 2048);
  check("CopyMmx");
  CopyMmxNonTemporal(buffer, buffer + 2048, 2048);
  check("CopyMmxNonTemporal");
}

// WarmCache loads one 32-bit word at the start of every whole 8-byte slot.
// Loads are seen through an inaccessible page; its prefetches never fault.
TEST(WarmCache, LoadsEveryWholeSlotAndNothingElse) {
  PageArena arena(3);
  const size_t page = PageArena::PageSize();
  arena.SetAccess(0, 1, Access::Read);
  arena.SetAccess(1, 2, Access::None);
  uint8_t* guard = arena.Page(1);
  auto faultsOf = [&](const uint8_t* p, uint32_t bytes) {
    arena.SetAccess(1, 2, Access::None);
    arena.TakeFaults();
    WarmCache(p, bytes);
    return arena.TakeFaults();
  };

  EXPECT_TRUE(faultsOf(guard, 7).empty()) << "7 bytes: no load";
  std::vector<Fault> one = faultsOf(guard, 8);
  ASSERT_EQ(one.size(), 1u) << "8 bytes: one load";
  EXPECT_EQ(one[0].address, reinterpret_cast<uintptr_t>(guard));
  EXPECT_FALSE(one[0].write);
  EXPECT_EQ(faultsOf(guard, 15).size(), 1u) << "15 bytes: still one load";

  // 4096 bytes ending at the guard: 512 loads stop right before it ...
  std::vector<Fault> all = faultsOf(guard - 4096, 4096);
  EXPECT_TRUE(all.empty()) << "faults:" << Describe(all, guard);
  // ... and moved 6 bytes on, the 512th load (4 bytes at +4088) reaches into it.
  std::vector<Fault> last = faultsOf(guard - 4096 + 6, 4096);
  ASSERT_EQ(last.size(), 1u) << "faults:" << Describe(last, guard);
  EXPECT_EQ(last[0].address & ~(uintptr_t)(page - 1), reinterpret_cast<uintptr_t>(guard));
  EXPECT_FALSE(last[0].write);
}

// TouchBuffer writes a zero byte at offsets 0, 8, 16, ... below byteCount.
TEST(TouchBuffer, ZeroesOneByteInEveryEightAndNothingElse) {
  PageArena arena(2);
  const size_t page = PageArena::PageSize();
  arena.SetAccess(1, 1, Access::None);
  uint8_t* end = arena.Page(1);
  for (uint32_t bytes : {0u, 1u, 9u, 4096u, 4095u}) {
    SCOPED_TRACE(std::to_string(bytes) + " bytes");
    std::memset(arena.Page(0), kUntouched, page);
    uint8_t* start = end - ((bytes + 7) / 8) * 8;  // the last store lands right before the guard
    TouchBuffer(start, bytes);
    std::vector<Fault> faults = arena.TakeFaults();
    EXPECT_TRUE(faults.empty()) << "faults:" << Describe(faults, start);
    for (size_t i = 0; i < page; ++i) {
      size_t at = static_cast<size_t>(start - arena.Page(0));
      bool touched = i >= at && i - at < bytes && (i - at) % 8 == 0;
      ASSERT_EQ(arena.Page(0)[i], touched ? 0 : kUntouched) << "byte " << i << " of the page";
    }
  }
}

TEST(EmptyKernel, ChangesNoRegister) {
  uint8_t in[kRegisterBytes], out[kRegisterBytes];
  for (size_t i = 0; i < kRegisterBytes; ++i) in[i] = RegisterByte(i);
  CallWithRegisters(in, out, EmptyKernel, 0, 0, 0);
  EXPECT_EQ(0, std::memcmp(in, out, kMmxXmmBytes));
}

}  // namespace
