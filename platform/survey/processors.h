// The processors as the operating system sees them, for placing the survey's
// threads: the logical processors this process may run on, their cores and
// packages, every data or unified cache instance with the processors that
// share it, and the binding of a thread to one processor.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct LayoutProcessor {
  uint32_t osNumber;  // the system's number (Windows: group * 64 + bit)
  uint32_t core;      // index of its physical core, 0, 1, ... over the machine
  uint32_t package;   // index of its package, 0, 1, ...
};

// One cache instance (not one per level: a machine with two L3s has two).
struct LayoutCache {
  uint32_t level;  // 1, 2, 3, ...
  uint64_t sizeBytes;
  uint32_t lineSize;  // bytes
  // OS numbers of the logical processors that share it, ascending; empty
  // when the source cannot say which (CPUID).
  std::vector<uint32_t> processors;
  // How many logical processors share it: the size of processors where that
  // is known, CPUID's count otherwise (0 = unknown).
  uint32_t sharedBy;
};

struct MachineLayout {
  std::vector<LayoutProcessor> processors;  // ascending OS number
  std::vector<LayoutCache> caches;          // by level, then in the system's order
  std::string source;  // "hwloc", "GetLogicalProcessorInformationEx" or "CPUID"
};

// The layout from the system's binding (hwloc on Linux, the processor
// information call on Windows), restricted to the processors the process may
// run on. False, with the reason in error, when the system cannot say.
bool ReadMachineLayout(MachineLayout* layout, std::string* error);

// Binds the calling thread to one logical processor (the system's number);
// false, with the reason in error, when it cannot.
bool BindCurrentThread(uint32_t processor, std::string* error);
// The OS number of the processor the calling thread runs on now; -1 where
// the system cannot say.
int32_t CurrentProcessor();
