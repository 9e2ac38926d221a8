// Behaviour of the transfer kernels, the wide ones too where the build has
// them: which bytes they touch and what they leave in memory and in their
// registers. Ranges sit against inaccessible pages, so any access outside
// them shows up as a recorded fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "measure/kernel_registry.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "probe/isa.h"
#endif
#ifdef _WIN32
#include <windows.h>  // the build defines NOMINMAX
#else
#include <signal.h>
#include <sys/mman.h>
#endif

// kernels_registers.S
extern "C" {
void CallWithRegisters(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
void CallWithYmm(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
void CallWithZmm(const void* in, void* out, void (*kernel)(void), uintptr_t a0, uintptr_t a1, uintptr_t a2);
}

namespace {

// ---- The arena: pages whose access is set page by page. A fault inside them
// is recorded, its page opened and the instruction run again; faults elsewhere
// crash as usual.
constexpr size_t kPageSize = 4096, kArenaPages = 16, kMaxFaults = 64;
enum class Access { None, Read, ReadWrite };
uintptr_t faults[kMaxFaults];
std::atomic<size_t> faultCount{0};
uint8_t* ArenaPage(size_t index);

bool Protect(void* start, size_t bytes, Access access) {
#ifdef _WIN32
  DWORD old, protection[] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE};
  return VirtualProtect(start, bytes, protection[static_cast<int>(access)], &old);
#else
  const int protection[] = {PROT_NONE, PROT_READ, PROT_READ | PROT_WRITE};
  return mprotect(start, bytes, protection[static_cast<int>(access)]) == 0;
#endif
}

bool Record(uintptr_t address) {  // false for an address outside the arena
  const uintptr_t low = reinterpret_cast<uintptr_t>(ArenaPage(0));
  if (address < low || address >= low + kArenaPages * kPageSize) return false;
  const size_t slot = faultCount.fetch_add(1);
  if (slot < kMaxFaults) faults[slot] = address;
  return Protect(reinterpret_cast<void*>(address & ~(kPageSize - 1)), kPageSize, Access::ReadWrite);
}

#ifdef _WIN32
LONG CALLBACK OnAccessViolation(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  return r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2 && Record(r->ExceptionInformation[1])
             ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_CONTINUE_SEARCH;
}
uint8_t* Allocate() {
  void* pages = VirtualAlloc(nullptr, kArenaPages * kPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!pages || !AddVectoredExceptionHandler(1, OnAccessViolation)) throw std::runtime_error("arena set-up failed");
  return static_cast<uint8_t*>(pages);
}
#else
// Not ours: back to the default action, so the access crashes when it runs again.
void OnSegv(int, siginfo_t* info, void*) { if (!Record(reinterpret_cast<uintptr_t>(info->si_addr))) signal(SIGSEGV, SIG_DFL); }
uint8_t* Allocate() {
  void* pages = mmap(nullptr, kArenaPages * kPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  struct sigaction action = {};
  action.sa_sigaction = OnSegv, action.sa_flags = SA_SIGINFO | SA_NODEFER, sigemptyset(&action.sa_mask);
  if (pages == MAP_FAILED || sigaction(SIGSEGV, &action, nullptr) != 0) throw std::runtime_error("arena set-up failed");
  return static_cast<uint8_t*>(pages);
}
#endif

uint8_t* ArenaPage(size_t index) { static uint8_t* const base = Allocate(); return base + index * kPageSize; }
void SetAccess(size_t firstPage, size_t count, Access access) {
  if (firstPage + count > kArenaPages || !Protect(ArenaPage(firstPage), count * kPageSize, access)) throw std::runtime_error("arena access");
}
std::vector<uintptr_t> TakeFaults() { return std::vector<uintptr_t>(faults, faults + std::min(faultCount.exchange(0), kMaxFaults)); }
std::string Describe(const std::vector<uintptr_t>& faults, const uint8_t* origin) {
  std::string text;
  for (uintptr_t f : faults) text += " " + std::to_string(static_cast<long long>(f - reinterpret_cast<uintptr_t>(origin)));
  return text.empty() ? "none" : text;
}
void Guard(size_t page) { SetAccess(0, kArenaPages, Access::ReadWrite), SetAccess(page, 1, Access::None), TakeFaults(); }

// ---- The kernels: the registry's rows, and EmptyKernel, which changes
// nothing at all, as a read of one xmm register per 16 bytes that loads none.
// Where a kernel's registers sit in the helpers' in/out blocks.
const size_t kRegisterOffset[] = {0, 64, 0, 0, 0};  // by KernelRegisters
// loaded: the registers the last iteration of a read or copy loads.
struct Kernel { const char* name; void (*function)(void); KernelGroup group; uint32_t step; KernelRegisters registers; size_t loaded; };
void PrintTo(const Kernel& kernel, std::ostream* out) { *out << kernel.name; }

std::vector<Kernel> Kernels() {
  std::vector<Kernel> kernels;
  for (const KernelRow& row : kernelRegistry) {
    const RegisterFile file = kRegisterFiles[row.registers];
    const size_t loaded = row.group == GroupWrite || file.bytes == 0 ? 0 : std::min<size_t>(row.step / file.bytes, file.cycled);
    void (*function)(void) = row.read ? reinterpret_cast<void (*)(void)>(row.read)
                             : row.write ? reinterpret_cast<void (*)(void)>(row.write) : reinterpret_cast<void (*)(void)>(row.copy);
    kernels.push_back({row.name, function, row.group, row.step, row.registers, loaded});
  }
  kernels.push_back({"EmptyKernel", EmptyKernel, GroupRead, 16, RegXmm, 0});
  return kernels;
}

constexpr size_t kRegisterBytes = 256;  // the largest in/out block: zmm0..zmm3
constexpr uint8_t kUntouched = 0xEE;
uint8_t SourceByte(size_t i) { return static_cast<uint8_t>((i * 2654435761u) >> 13); }

// Pages: guard, source (read-only as in the program), guard, destination,
// guard. Returns the source; the destination is `pages` + 1 pages on.
uint8_t* Layout(size_t pages) {
  Guard(0);
  for (size_t i = 0; i < pages * kPageSize; ++i) ArenaPage(1)[i] = SourceByte(i);
  std::memset(ArenaPage(pages + 2), kUntouched, pages * kPageSize);
  SetAccess(1, pages, Access::Read), SetAccess(pages + 1, 1, Access::None), SetAccess(2 * pages + 2, 1, Access::None);
  return ArenaPage(1);
}

void Call(const Kernel& k, const uint8_t* in, uint8_t* out, uintptr_t a0, uintptr_t a1, uintptr_t a2) {
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  if (k.registers == RegYmm || k.registers == RegZmm) return (k.registers == RegYmm ? CallWithYmm : CallWithZmm)(in, out, k.function, a0, a1, a2);
#endif
  CallWithRegisters(in, out, k.function, a0, a1, a2);
}

class KernelTest : public testing::TestWithParam<Kernel> {};

// The kernel runs the whole steps of its range, flush against the guard page
// before them or after them (where a partial step would reach): no access
// outside them, the expected bytes in the destination, and in its registers the
// last loads; the rest unchanged.
TEST_P(KernelTest, RunsTheWholeStepsOfItsRangeOnly) {
  const Kernel& k = GetParam();
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  static const IsaSupport isa = DetectIsaSupport();
  if ((k.registers == RegYmm && !isa.avx) || (k.registers == RegZmm && !isa.avx512f)) GTEST_SKIP() << "no AVX / AVX-512F here";
#endif
  const RegisterFile file = kRegisterFiles[k.registers];
  const size_t fileOffset = kRegisterOffset[k.registers];
  const bool wide = k.registers == RegYmm || k.registers == RegZmm;
  uint8_t in[kRegisterBytes], out[kRegisterBytes];
  for (size_t i = 0; i < kRegisterBytes; ++i) in[i] = static_cast<uint8_t>(0x51 + 3 * i);
  for (uint32_t bytes : {0u, k.step - 1, k.step, k.step + k.step / 2, 2048u, 3u * 4096u}) {
    for (bool flushToEnd : {false, true}) {
      SCOPED_TRACE(std::to_string(bytes) + (flushToEnd ? " bytes, whole steps ending at a guard page" : " bytes after a guard page"));
      const size_t pages = bytes / kPageSize + 1, area = pages * kPageSize, whole = bytes / k.step * k.step;
      const size_t offset = flushToEnd ? area - whole : 0;
      uint8_t* const source = Layout(pages);
      uint8_t* const destination = source + area + kPageSize;
      const uintptr_t from = reinterpret_cast<uintptr_t>(source + offset), to = from + area + kPageSize;
      Call(k, in, out, k.group == GroupWrite ? to : from, k.group == GroupCopy ? to : bytes, bytes);

      const std::vector<uintptr_t> faults = TakeFaults();
      EXPECT_TRUE(faults.empty()) << "faults at (from the source):" << Describe(faults, source);
      for (size_t i = 0; i < area; ++i) {
        ASSERT_EQ(source[i], SourceByte(i)) << "source byte " << i;
        const bool inside = i >= offset && i < offset + whole;  // written: the source, the register file repeated, or 0x5A
        const uint8_t written = k.group == GroupCopy ? SourceByte(i) : k.registers == RegNone ? 0x5A : in[fileOffset + (i - offset) % (file.bytes * file.cycled)];
        ASSERT_EQ(destination[i], inside && k.group != GroupRead ? written : kUntouched) << "destination byte " << i;
      }

      uint8_t expected[kRegisterBytes];
      std::memcpy(expected, in, kRegisterBytes);
      size_t kept = whole ? k.loaded : 0;
#ifdef _WIN64
      if (k.registers == RegXmm) kept = std::min<size_t>(kept, 6);  // xmm6 and xmm7 belong to the caller
#endif
      for (size_t j = 0; j < kept * file.bytes; ++j) expected[fileOffset + j] = SourceByte(offset + whole - k.loaded * file.bytes + j);
      for (size_t j = 0; wide && j < file.cycled * file.bytes; ++j)
        if (j % file.bytes >= 16) expected[j] = 0;  // the closing vzeroupper
      for (size_t j = 0; j < (wide ? file.cycled * file.bytes : 192); ++j) ASSERT_EQ(out[j], expected[j]) << "byte " << j << " of the register block";
      uint16_t x87Tags;  // all x87 registers free again: emms ran
      std::memcpy(&x87Tags, out + 200, sizeof x87Tags);
      EXPECT_TRUE(k.registers != RegMm || x87Tags == 0xFFFF) << "x87 registers left in use: " << std::hex << x87Tags;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllTransferKernels, KernelTest, testing::ValuesIn(Kernels()),
                         [](const testing::TestParamInfo<Kernel>& info) { return std::string(info.param.name); });

// WarmCache loads 4 bytes at the start of every whole 8-byte slot, its
// prefetches never fault; TouchBuffer stores a zero byte at 0, 8, 16, ... below
// its count.
TEST(WarmUps, TouchEveryWholeSlotAndNothingElse) {
  uint8_t* guard = ArenaPage(2);
  const struct { long start; uint32_t bytes; size_t faults; } rows[] = {{0, 7, 0}, {0, 8, 1}, {0, 15, 1}, {-4096, 4096, 0}, {-4090, 4096, 1}};
  for (const auto& r : rows) {
    Guard(2), WarmCache(guard + r.start, r.bytes);
    const std::vector<uintptr_t> faults = TakeFaults();
    EXPECT_TRUE(faults.size() == r.faults && (faults.empty() || faults[0] == reinterpret_cast<uintptr_t>(guard)))
        << r.bytes << " bytes at " << r.start << ", faults:" << Describe(faults, guard);
  }
  for (uint32_t bytes : {0u, 1u, 9u, 4095u, 4096u}) {
    Guard(1), std::memset(ArenaPage(0), kUntouched, kPageSize);
    const size_t at = kPageSize - (bytes + 7) / 8 * 8;  // the last store right before the guard
    TouchBuffer(ArenaPage(0) + at, bytes);
    EXPECT_TRUE(TakeFaults().empty()) << bytes << " bytes";
    for (size_t i = 0; i < kPageSize; ++i)
      ASSERT_EQ(ArenaPage(0)[i], i >= at && i - at < bytes && (i - at) % 8 == 0 ? 0 : kUntouched) << bytes << ": " << i;
  }
}

}  // namespace
