#include "tests/measure/kernels_page_arena.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#endif

namespace kerneltest {
namespace {

// State shared with the fault handler; only one arena exists at a time.
constexpr int kMaxFaults = 64;
std::atomic<uintptr_t> arenaLow{0};
std::atomic<uintptr_t> arenaHigh{0};
Fault faults[kMaxFaults];
std::atomic<int> faultCount{0};

bool InArena(uintptr_t address) {
  return address >= arenaLow.load() && address < arenaHigh.load();
}

void Record(uintptr_t address, bool write) {
  int slot = faultCount.fetch_add(1);
  if (slot < kMaxFaults) faults[slot] = Fault{address, write};
}

uintptr_t PageOf(uintptr_t address) { return address & ~(uintptr_t)(PageArena::PageSize() - 1); }

#ifdef _WIN32

LONG CALLBACK OnAccessViolation(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  uintptr_t address = record->ExceptionInformation[1];
  if (!InArena(address)) return EXCEPTION_CONTINUE_SEARCH;
  Record(address, record->ExceptionInformation[0] == 1);
  DWORD old;
  VirtualProtect(reinterpret_cast<void*>(PageOf(address)), PageArena::PageSize(), PAGE_READWRITE, &old);
  return EXCEPTION_CONTINUE_EXECUTION;
}

void InstallHandler() {
  static PVOID handler = AddVectoredExceptionHandler(1, OnAccessViolation);
  if (!handler) throw std::runtime_error("AddVectoredExceptionHandler failed");
}

#else

void OnSegv(int, siginfo_t* info, void* context) {
  uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
  if (!InArena(address)) {
    // Not ours: fall back to the default action, so the access crashes again.
    signal(SIGSEGV, SIG_DFL);
    return;
  }
  bool write = false;
#ifdef REG_ERR
  // Bit 1 of the page-fault error code marks a write.
  write = (static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#else
  (void)context;
#endif
  Record(address, write);
  mprotect(reinterpret_cast<void*>(PageOf(address)), PageArena::PageSize(), PROT_READ | PROT_WRITE);
}

void InstallHandler() {
  struct sigaction action = {};
  action.sa_sigaction = OnSegv;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGSEGV, &action, nullptr) != 0) throw std::runtime_error("sigaction failed");
}

#endif

}  // namespace

size_t PageArena::PageSize() {
#ifdef _WIN32
  static const size_t size = [] {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return static_cast<size_t>(info.dwPageSize);
  }();
#else
  static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
  return size;
}

PageArena::PageArena(size_t pages) : pages_(pages) {
  if (arenaHigh.load() != 0) throw std::logic_error("only one PageArena at a time");
  size_t bytes = pages * PageSize();
#ifdef _WIN32
  base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) throw std::runtime_error("VirtualAlloc failed");
#else
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
  base_ = static_cast<uint8_t*>(p);
#endif
  InstallHandler();
  faultCount = 0;
  arenaLow = reinterpret_cast<uintptr_t>(base_);
  arenaHigh = reinterpret_cast<uintptr_t>(base_) + bytes;
}

PageArena::~PageArena() {
  arenaHigh = 0;
  arenaLow = 0;
#ifdef _WIN32
  VirtualFree(base_, 0, MEM_RELEASE);
#else
  munmap(base_, pages_ * PageSize());
#endif
}

void PageArena::SetAccess(size_t firstPage, size_t count, Access access) {
  if (firstPage + count > pages_) throw std::out_of_range("page beyond the arena");
  void* start = Page(firstPage);
  size_t bytes = count * PageSize();
#ifdef _WIN32
  DWORD protection = access == Access::None ? PAGE_NOACCESS
                     : access == Access::Read ? PAGE_READONLY
                                              : PAGE_READWRITE;
  DWORD old;
  if (!VirtualProtect(start, bytes, protection, &old)) throw std::runtime_error("VirtualProtect failed");
#else
  int protection = access == Access::None ? PROT_NONE
                   : access == Access::Read ? PROT_READ
                                            : PROT_READ | PROT_WRITE;
  if (mprotect(start, bytes, protection) != 0) throw std::runtime_error("mprotect failed");
#endif
}

std::vector<Fault> PageArena::TakeFaults() {
  int count = faultCount.exchange(0);
  if (count > kMaxFaults) count = kMaxFaults;
  return std::vector<Fault>(faults, faults + count);
}

}  // namespace kerneltest
