// The operating-system seam: every service the portable subsystems need from the
// system, as free functions. Each program links exactly one binding:
// platform/win32/ (the Win32 calls) or platform/posix/ (mmap, pthreads, clocks).
#pragma once
#include <cstdint>

// Pages --------------------------------------------------------------------

// Commits byteCount bytes of page-aligned memory; null on failure.
// Read-only pages are readable only, and every page has memory of its own
// (never a shared zero page), so a read of them measures real memory.
void* CommitReadOnlyPages(uint32_t byteCount);
void* CommitReadWritePages(uint32_t byteCount);
// Releases pages from either commit; byteCount is the committed length.
void ReleasePages(void* pages, uint32_t byteCount);

// Threads ------------------------------------------------------------------

typedef uintptr_t ThreadHandle;  // 0 means no thread
typedef uint32_t (*ThreadFunction)(void* argument);

// Starts function(argument) on a new thread at once; 0 on failure.
ThreadHandle StartThread(ThreadFunction function, void* argument);
// Ends the thread from outside and returns only once it can no longer run
// (and so can write nothing more). A thread that already returned is fine.
void StopThread(ThreadHandle thread);
// Releases the handle; waits for a thread that is about to end (one that has
// sent its last notice) so that nothing of it outlives the handle.
void CloseThread(ThreadHandle thread);
// Releases the handle of a thread that is never joined; it runs on until it
// returns by itself.
void DetachThread(ThreadHandle thread);
// True on a thread started by StartThread once StopThread has been asked for
// it. Long work polls this where the binding cannot end a thread abruptly.
bool ThreadStopRequested();

// Auto-reset event -----------------------------------------------------------

typedef uintptr_t EventHandle;  // 0 means no event

EventHandle CreateAutoResetEvent();  // not signalled; 0 on failure
void SignalEvent(EventHandle event);
// Non-waiting poll: true when the event was signalled, which consumes the
// signal (one signal ends one poll); false otherwise.
bool PollEvent(EventHandle event);
// Waits up to milliseconds for a signal; true (and consumed) if one came.
bool WaitEvent(EventHandle event, uint32_t milliseconds);
void CloseEvent(EventHandle event);

// Time -----------------------------------------------------------------------

// The high-resolution counter and its counts per second (10^9 on POSIX).
uint64_t ReadPerformanceCounter();
uint64_t PerformanceCounterFrequency();
// Sleeps; on a thread from StartThread a StopThread for it ends the sleep early.
void SleepMilliseconds(uint32_t milliseconds);

// Atomics ------------------------------------------------------------------

// If *target equals comparand, stores exchange; returns the value found.
intptr_t CompareExchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand);

// Files --------------------------------------------------------------------

typedef intptr_t FileHandle;  // -1 means none
enum CreateFileResult { FileCreated, FileExists, FileFailed };

// Creates a new file for writing only, exclusively: never opens an existing one.
CreateFileResult CreateNewFile(const char* path, FileHandle* file);
bool WriteWholeBuffer(FileHandle file, const void* bytes, uint32_t byteCount);
bool CloseFile(FileHandle file);
void RemoveFile(const char* path);
// Renames from to to, replacing a file to that exists (Windows' own rename
// refuses to); false when it cannot.
bool ReplaceFileWith(const char* from, const char* to);
