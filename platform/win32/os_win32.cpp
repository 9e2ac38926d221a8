// Win32 binding of the operating-system seam: the KERNEL32 calls themselves.
#include "platform/os.h"

#include <windows.h>

#include <new>

// Pages --------------------------------------------------------------------

static void* Commit(uint32_t byteCount, DWORD protection) {
  if (byteCount == 0) return nullptr;
  return VirtualAllocEx(GetCurrentProcess(), nullptr, byteCount, MEM_COMMIT, protection);
}

void* CommitReadOnlyPages(uint32_t byteCount) {
  // Under Wine, committed pages that are never written may all be backed by
  // Linux's one shared zero page, so a read of them would stay in the cache
  // whatever the size. Writing each page once gives it memory of its own on
  // every system; then the pages become read-only for good.
  uint8_t* pages = static_cast<uint8_t*>(Commit(byteCount, PAGE_READWRITE));
  if (pages == nullptr) return nullptr;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (uint32_t offset = 0; offset < byteCount; offset += system.dwPageSize)
    *reinterpret_cast<volatile uint8_t*>(pages + offset) = 1;
  DWORD previous;
  if (!VirtualProtect(pages, byteCount, PAGE_READONLY, &previous)) {
    VirtualFree(pages, 0, MEM_RELEASE);
    return nullptr;
  }
  return pages;
}
void* CommitReadWritePages(uint32_t byteCount) { return Commit(byteCount, PAGE_READWRITE); }

void ReleasePages(void* pages, uint32_t) {
  if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
}

// Threads ------------------------------------------------------------------

// A thread ended with TerminateThread dies wherever it is; if that is inside
// a lock of the heap or of the loader, the next thread start or allocation
// of the process hangs for ever. So the thread itself never allocates or
// frees (the creator owns its control block), and a stop waits until the
// thread has passed its start-up and runs only the code it was given.
namespace {
struct Win32Thread {
  HANDLE thread;
  ThreadFunction function;
  void* argument;
  volatile LONG started;
};

DWORD WINAPI RunThread(LPVOID raw) {
  Win32Thread* control = static_cast<Win32Thread*>(raw);
  const ThreadFunction function = control->function;
  void* const argument = control->argument;
  InterlockedExchange(&control->started, 1);
  return function(argument);
}

// Waits until the thread runs its own function (or ended before that).
void WaitUntilStarted(Win32Thread* control) {
  while (InterlockedCompareExchange(&control->started, 0, 0) == 0 &&
         WaitForSingleObject(control->thread, 0) == WAIT_TIMEOUT)
    Sleep(0);
}

Win32Thread* Control(ThreadHandle handle) {
  if (handle == 0 || handle == static_cast<ThreadHandle>(-1)) return nullptr;
  return reinterpret_cast<Win32Thread*>(handle);
}
}  // namespace

ThreadHandle StartThread(ThreadFunction function, void* argument) {
  Win32Thread* control = new (std::nothrow) Win32Thread{nullptr, function, argument, 0};
  if (control == nullptr) return 0;
  control->thread = CreateThread(nullptr, 0, RunThread, control, 0, nullptr);
  if (control->thread == nullptr) {
    delete control;
    return 0;
  }
  return reinterpret_cast<ThreadHandle>(control);
}

void StopThread(ThreadHandle handle) {
  Win32Thread* control = Control(handle);
  if (control == nullptr) return;
  WaitUntilStarted(control);
  // The termination request returns before the thread has stopped; waiting on
  // the handle makes sure that nothing it writes is freed while it still runs.
  TerminateThread(control->thread, 0);
  WaitForSingleObject(control->thread, INFINITE);
}

void CloseThread(ThreadHandle handle) {
  Win32Thread* control = Control(handle);
  if (control == nullptr) return;
  WaitUntilStarted(control);
  CloseHandle(control->thread);
  delete control;
}

void DetachThread(ThreadHandle handle) { CloseThread(handle); }

// Threads end abruptly on Win32, so nothing needs to poll.
bool ThreadStopRequested() { return false; }

// Auto-reset event -----------------------------------------------------------

EventHandle CreateAutoResetEvent() {
  return reinterpret_cast<EventHandle>(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

void SignalEvent(EventHandle event) {
  if (event != 0) SetEvent(reinterpret_cast<HANDLE>(event));
}

bool PollEvent(EventHandle event) { return WaitEvent(event, 0); }

bool WaitEvent(EventHandle event, uint32_t milliseconds) {
  if (event == 0) return false;
  return WaitForSingleObject(reinterpret_cast<HANDLE>(event), milliseconds) == WAIT_OBJECT_0;
}

void CloseEvent(EventHandle event) {
  if (event != 0) CloseHandle(reinterpret_cast<HANDLE>(event));
}

// Time -----------------------------------------------------------------------

uint64_t ReadPerformanceCounter() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<uint64_t>(counter.QuadPart);
}

uint64_t PerformanceCounterFrequency() {
  LARGE_INTEGER frequency;
  if (!QueryPerformanceFrequency(&frequency)) return 0;
  return static_cast<uint64_t>(frequency.QuadPart);
}

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

// Atomics ------------------------------------------------------------------

intptr_t CompareExchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand) {
#ifdef _WIN64
  return InterlockedCompareExchange64(reinterpret_cast<volatile LONG64*>(target), exchange, comparand);
#else
  return InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(target), exchange, comparand);
#endif
}

// Files --------------------------------------------------------------------

static bool Utf8ToWide(const char* text, wchar_t* wide, int capacity) {
  return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, capacity) > 0;
}

CreateFileResult CreateNewFile(const char* path, FileHandle* file) {
  *file = -1;
  wchar_t widePath[MAX_PATH];
  if (!Utf8ToWide(path, widePath, MAX_PATH)) return FileFailed;
  HANDLE handle = CreateFileW(widePath, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS ? FileExists : FileFailed;
  *file = reinterpret_cast<FileHandle>(handle);
  return FileCreated;
}

bool WriteWholeBuffer(FileHandle file, const void* bytes, uint32_t byteCount) {
  DWORD written = 0;
  return WriteFile(reinterpret_cast<HANDLE>(file), bytes, byteCount, &written, nullptr) && written == byteCount;
}

bool CloseFile(FileHandle file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0; }

void RemoveFile(const char* path) {
  wchar_t widePath[MAX_PATH];
  if (Utf8ToWide(path, widePath, MAX_PATH)) DeleteFileW(widePath);
}

bool ReplaceFileWith(const char* from, const char* to) {
  wchar_t wideFrom[MAX_PATH], wideTo[MAX_PATH];
  return Utf8ToWide(from, wideFrom, MAX_PATH) && Utf8ToWide(to, wideTo, MAX_PATH) &&
         MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING) != 0;
}
