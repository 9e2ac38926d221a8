#include "tests/measure/kernels_page_arena.h"

#include <atomic>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kerneltest {
namespace {

// State shared with the fault handler.
constexpr int kMaxFaults = 64;
std::atomic<uintptr_t> arenaLow{0}, arenaHigh{0};
uintptr_t faults[kMaxFaults];
std::atomic<int> faultCount{0};

// Records a fault inside the arena and opens its page; false for any other address.
bool Record(uintptr_t address) {
  if (address < arenaLow.load() || address >= arenaHigh.load()) return false;
  int slot = faultCount.fetch_add(1);
  if (slot < kMaxFaults) faults[slot] = address;
  void* page = reinterpret_cast<void*>(address & ~(uintptr_t)(PageArena::PageSize() - 1));
#ifdef _WIN32
  DWORD old;
  VirtualProtect(page, PageArena::PageSize(), PAGE_READWRITE, &old);
#else
  mprotect(page, PageArena::PageSize(), PROT_READ | PROT_WRITE);
#endif
  return true;
}

#ifdef _WIN32
LONG CALLBACK OnAccessViolation(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  return record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2 &&
                 Record(record->ExceptionInformation[1])
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}
void InstallHandler() {
  static PVOID handler = AddVectoredExceptionHandler(1, OnAccessViolation);
  if (!handler) throw std::runtime_error("AddVectoredExceptionHandler failed");
}
#else
void OnSegv(int, siginfo_t* info, void*) {
  // Not ours: back to the default action, so the access crashes when it runs again.
  if (!Record(reinterpret_cast<uintptr_t>(info->si_addr))) signal(SIGSEGV, SIG_DFL);
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
#ifdef _WIN32
  base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, pages * PageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base_) throw std::runtime_error("VirtualAlloc failed");
#else
  void* p = mmap(nullptr, pages * PageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
  base_ = static_cast<uint8_t*>(p);
#endif
  InstallHandler();
  faultCount = 0;
  arenaLow = reinterpret_cast<uintptr_t>(base_);
  arenaHigh = reinterpret_cast<uintptr_t>(base_) + pages * PageSize();
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
#ifdef _WIN32
  DWORD old;
  if (!VirtualProtect(Page(firstPage), count * PageSize(), access == Access::None ? PAGE_NOACCESS : PAGE_READONLY, &old))
    throw std::runtime_error("VirtualProtect failed");
#else
  if (mprotect(Page(firstPage), count * PageSize(), access == Access::None ? PROT_NONE : PROT_READ) != 0)
    throw std::runtime_error("mprotect failed");
#endif
}

std::vector<uintptr_t> PageArena::TakeFaults() {
  int count = faultCount.exchange(0);
  return std::vector<uintptr_t>(faults, faults + (count < kMaxFaults ? count : kMaxFaults));
}

}  // namespace kerneltest
