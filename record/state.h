// The one process-wide record through which every subsystem of the exact
// program meets: settings, machine facts, the test buffers, the result arrays
// and handles. The display keeps its own few working values beside it
// (display/display_state.h). No field is guarded by a lock; the rules of who
// may write what while a sweep runs are kept by the window (see app/).
//
// The record stands below every other folder and includes none of them:
// handles are kept as the plain integers the seams define them to be.
#pragma once
#include <cstddef>
#include <cstdint>

struct MeasurementState {
  // Settings, chosen from the menu.
  uint64_t testAreaSize = 2097152;
  uint32_t blockStep = 1024;
  uint32_t repeatCount = 10;  // may change under a running sweep: see LoadRepeatCount
  uint32_t refreshInterval = 2000;
  bool showCacheRegions = false;

  // Machine facts.
  uint32_t l1CacheSize = 65536;
  uint32_t l2CacheSize = 524288;
  bool hasSse = false;
  bool hasSse2 = false;
  uint64_t clockHz = 0;  // written by the sweep, read by paints: whole 64-bit accesses only

  // Test buffers, both testBufferSize bytes (0 while none exist).
  uint8_t* sourceBuffer = nullptr;
  uint8_t* destinationBuffer = nullptr;
  uint32_t testBufferSize = 0;

  // Result arrays of BlockCount entries each, bytes per second; 0 = unmeasured.
  uint64_t* readRates = nullptr;
  uint64_t* writeRates = nullptr;
  uint64_t* copyRates = nullptr;

  // Handles.
  volatile intptr_t measurementThread = 0;  // 0 none, -1 being started, else a ThreadHandle
  uintptr_t powerDefeatStopEvent = 0;  // an EventHandle (platform/os.h); 0 none

  // Index of the block the running sweep is measuring, for progress displays.
  uint32_t sweepBlockIndex = 0;
};

extern MeasurementState measurementState;

// Number of blocks of a sweep: (low 32 bits of testAreaSize - 2048) / blockStep.
uint32_t BlockCount();
// Length in bytes of block i: blockStep * i + 2048.
uint32_t BlockLength(uint32_t i);
// Frees the three result arrays and allocates them afresh, zeroed, with
// BlockCount entries. If an allocation fails, all three are left null.
void ResetResultArrays();
// Allocator of the result arrays (zeroed, like calloc); tests replace it to
// simulate a failed allocation.
extern void* (*allocateResultArray)(size_t entryCount, size_t entrySize);
// True when all three result arrays exist.
bool ResultArraysExist();

// Whole 64-bit reads and writes of values that one thread writes while another
// reads them (clockHz, result entries); on 32-bit x86 a plain access would tear.
inline uint64_t LoadWhole(const uint64_t* value) { return __atomic_load_n(value, __ATOMIC_RELAXED); }
inline void StoreWhole(uint64_t* value, uint64_t newValue) { __atomic_store_n(value, newValue, __ATOMIC_RELAXED); }
inline uint32_t LoadWhole32(const uint32_t* value) { return __atomic_load_n(value, __ATOMIC_RELAXED); }
inline void StoreWhole32(uint32_t* value, uint32_t newValue) { __atomic_store_n(value, newValue, __ATOMIC_RELAXED); }
