#include "tests/measure/kernels_page_arena.h"

#include <atomic>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/mman.h>
#endif

namespace kerneltest {
namespace {

constexpr int kMaxFaults = 64;
uintptr_t faults[kMaxFaults];
std::atomic<int> faultCount{0};

// The page protection of an Access.
#ifdef _WIN32
const DWORD kProtection[] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE};
bool Protect(void* start, size_t bytes, Access access) {
  DWORD old;
  return VirtualProtect(start, bytes, kProtection[static_cast<int>(access)], &old);
}
#else
const int kProtection[] = {PROT_NONE, PROT_READ, PROT_READ | PROT_WRITE};
bool Protect(void* start, size_t bytes, Access access) {
  return mprotect(start, bytes, kProtection[static_cast<int>(access)]) == 0;
}
#endif

// Records a fault inside the arena and opens its page; false for any other address.
bool Record(uintptr_t address) {
  const uintptr_t low = reinterpret_cast<uintptr_t>(ArenaPage(0));
  if (address < low || address >= low + kArenaPages * kPageSize) return false;
  const int slot = faultCount.fetch_add(1);
  if (slot < kMaxFaults) faults[slot] = address;
  return Protect(reinterpret_cast<void*>(address & ~(kPageSize - 1)), kPageSize, Access::ReadWrite);
}

#ifdef _WIN32
LONG CALLBACK OnAccessViolation(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  return record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2 &&
                 Record(record->ExceptionInformation[1])
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}
uint8_t* Allocate() {
  void* pages = VirtualAlloc(nullptr, kArenaPages * kPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!pages || !AddVectoredExceptionHandler(1, OnAccessViolation)) throw std::runtime_error("arena set-up failed");
  return static_cast<uint8_t*>(pages);
}
#else
void OnSegv(int, siginfo_t* info, void*) {
  // Not ours: back to the default action, so the access crashes when it runs again.
  if (!Record(reinterpret_cast<uintptr_t>(info->si_addr))) signal(SIGSEGV, SIG_DFL);
}
uint8_t* Allocate() {
  void* pages = mmap(nullptr, kArenaPages * kPageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  struct sigaction action = {};
  action.sa_sigaction = OnSegv;
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  if (pages == MAP_FAILED || sigaction(SIGSEGV, &action, nullptr) != 0) throw std::runtime_error("arena set-up failed");
  return static_cast<uint8_t*>(pages);
}
#endif

}  // namespace

uint8_t* ArenaPage(size_t index) {
  static uint8_t* const base = Allocate();
  return base + index * kPageSize;
}

void SetAccess(size_t firstPage, size_t count, Access access) {
  if (firstPage + count > kArenaPages || !Protect(ArenaPage(firstPage), count * kPageSize, access))
    throw std::runtime_error("cannot set the access of arena pages");
}

std::vector<uintptr_t> TakeFaults() {
  const int count = faultCount.exchange(0);
  return std::vector<uintptr_t>(faults, faults + (count < kMaxFaults ? count : kMaxFaults));
}

}  // namespace kerneltest
