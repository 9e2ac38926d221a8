// POSIX binding of the operating-system seam: mmap/mprotect pages, pthreads with
// a cooperative stop, a mutex-and-condition auto-reset event, the monotonic clock.
#include "platform/os.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

// Pages --------------------------------------------------------------------

static void* MapPages(uint32_t byteCount) {
  if (byteCount == 0) return nullptr;
  void* pages = mmap(nullptr, byteCount, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : pages;
}

void* CommitReadOnlyPages(uint32_t byteCount) {
  uint8_t* pages = static_cast<uint8_t*>(MapPages(byteCount));
  if (pages == nullptr) return nullptr;
  // Linux backs untouched anonymous pages with one shared zero page; a read of
  // them would stay in the cache whatever the size. Writing each page once gives
  // it memory of its own; then write access is dropped for good.
  const long pageSize = sysconf(_SC_PAGESIZE);
  for (uint32_t offset = 0; offset < byteCount; offset += static_cast<uint32_t>(pageSize))
    *reinterpret_cast<volatile uint8_t*>(pages + offset) = 1;
  if (mprotect(pages, byteCount, PROT_READ) != 0) {
    munmap(pages, byteCount);
    return nullptr;
  }
  return pages;
}

void* CommitReadWritePages(uint32_t byteCount) { return MapPages(byteCount); }

void ReleasePages(void* pages, uint32_t byteCount) {
  if (pages != nullptr) munmap(pages, byteCount);
}

// Threads ------------------------------------------------------------------

namespace {
struct PosixThread {
  pthread_t thread;
  ThreadFunction function;
  void* argument;
  std::atomic<bool> stopRequested{false};
  std::atomic<int> references{2};  // the running thread and the handle
  bool joined = false;
  // Sleeps of the thread wait on this, so that a stop cuts them short.
  std::mutex sleepMutex;
  std::condition_variable stopSignalled;
};

void DropReference(PosixThread* thread) {
  if (thread->references.fetch_sub(1) == 1) delete thread;
}
thread_local PosixThread* currentThread = nullptr;

void* RunThread(void* raw) {
  PosixThread* self = static_cast<PosixThread*>(raw);
  currentThread = self;
  self->function(self->argument);
  currentThread = nullptr;
  DropReference(self);
  return nullptr;
}

void Join(PosixThread* thread) {
  if (!thread->joined) {
    pthread_join(thread->thread, nullptr);
    thread->joined = true;
  }
}
}  // namespace

ThreadHandle StartThread(ThreadFunction function, void* argument) {
  PosixThread* thread = new (std::nothrow) PosixThread;
  if (thread == nullptr) return 0;
  thread->function = function;
  thread->argument = argument;
  if (pthread_create(&thread->thread, nullptr, RunThread, thread) != 0) {
    delete thread;
    return 0;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void StopThread(ThreadHandle handle) {
  if (handle == 0 || handle == static_cast<ThreadHandle>(-1)) return;
  PosixThread* thread = reinterpret_cast<PosixThread*>(handle);
  {
    std::lock_guard<std::mutex> lock(thread->sleepMutex);
    thread->stopRequested.store(true);
  }
  thread->stopSignalled.notify_all();
  Join(thread);
}

void CloseThread(ThreadHandle handle) {
  if (handle == 0 || handle == static_cast<ThreadHandle>(-1)) return;
  PosixThread* thread = reinterpret_cast<PosixThread*>(handle);
  Join(thread);
  DropReference(thread);
}

void DetachThread(ThreadHandle handle) {
  if (handle == 0 || handle == static_cast<ThreadHandle>(-1)) return;
  PosixThread* thread = reinterpret_cast<PosixThread*>(handle);
  pthread_detach(thread->thread);
  DropReference(thread);
}

bool ThreadStopRequested() {
  return currentThread != nullptr && currentThread->stopRequested.load(std::memory_order_relaxed);
}

// Auto-reset event -----------------------------------------------------------

namespace {
struct PosixEvent {
  std::mutex mutex;
  std::condition_variable signalled;
  bool set = false;
};
}  // namespace

EventHandle CreateAutoResetEvent() {
  return reinterpret_cast<EventHandle>(new (std::nothrow) PosixEvent);
}

void SignalEvent(EventHandle handle) {
  if (handle == 0) return;
  PosixEvent* event = reinterpret_cast<PosixEvent*>(handle);
  {
    std::lock_guard<std::mutex> lock(event->mutex);
    event->set = true;
  }
  event->signalled.notify_one();
}

bool PollEvent(EventHandle handle) { return WaitEvent(handle, 0); }

bool WaitEvent(EventHandle handle, uint32_t milliseconds) {
  if (handle == 0) return false;
  PosixEvent* event = reinterpret_cast<PosixEvent*>(handle);
  std::unique_lock<std::mutex> lock(event->mutex);
  event->signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), [event] { return event->set; });
  const bool wasSet = event->set;
  event->set = false;
  return wasSet;
}

void CloseEvent(EventHandle handle) { delete reinterpret_cast<PosixEvent*>(handle); }

// Time -----------------------------------------------------------------------

uint64_t ReadPerformanceCounter() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

uint64_t PerformanceCounterFrequency() { return 1000000000u; }

void SleepMilliseconds(uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (currentThread != nullptr) {
    // A stoppable thread sleeps until the time is up or a stop is asked for.
    std::unique_lock<std::mutex> lock(currentThread->sleepMutex);
    PosixThread* self = currentThread;
    self->stopSignalled.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [self] { return self->stopRequested.load(); });
    return;
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

// Atomics ------------------------------------------------------------------

intptr_t CompareExchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// Files --------------------------------------------------------------------

CreateFileResult CreateNewFile(const char* path, FileHandle* file) {
  const int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor >= 0) {
    *file = descriptor;
    return FileCreated;
  }
  *file = -1;
  return errno == EEXIST ? FileExists : FileFailed;
}

bool WriteWholeBuffer(FileHandle file, const void* bytes, uint32_t byteCount) {
  const uint8_t* next = static_cast<const uint8_t*>(bytes);
  while (byteCount > 0) {
    const ssize_t written = write(static_cast<int>(file), next, byteCount);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    byteCount -= static_cast<uint32_t>(written);
  }
  return true;
}

bool CloseFile(FileHandle file) { return close(static_cast<int>(file)) == 0; }

void RemoveFile(const char* path) { unlink(path); }

bool ReplaceFileWith(const char* from, const char* to) { return rename(from, to) == 0; }
