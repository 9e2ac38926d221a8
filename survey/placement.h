// Where the survey's threads run and how much of each cache each one has:
// threads placed over the machine layout, and each thread's share of every
// cache level counted from the threads that really share its instance.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/survey/processors.h"
#include "survey/levels.h"

// One cache level as CPUID describes it, for machines whose system says
// nothing about its caches.
struct CountedCache {
  uint32_t level;
  uint64_t sizeBytes;
  uint32_t lineSize;
  uint32_t sharedBy;  // logical processors sharing it, by CPUID's count (0 = unknown)
};

// Layout from CPUID alone: processors 0 .. processorCount - 1, each its own
// core, one package, one cache instance per level with no processor set.
MachineLayout MachineLayoutFromCpuid(const std::vector<CountedCache>& caches, uint32_t processorCount);

struct PlacedCache {
  uint32_t level;
  uint32_t instance;  // index among the layout's instances of this level, in layout order
};

struct ThreadPlace {
  uint32_t processor;  // OS number
  uint32_t core;
  uint32_t package;
  std::vector<PlacedCache> caches;  // the instances serving it, by level; empty where unknown
};

struct ThreadPlacement {
  std::vector<ThreadPlace> threads;  // thread i runs on threads[i].processor
  bool sharesCores;                  // some threads are hardware threads of one core
};

// Places threadCount threads: first one per last-level cache instance
// (instances of the packages interleaved; by package where no cache has a
// processor set), then further cores in the same round, then the second
// hardware threads of the cores in the same order, and so on. False, with
// the reason in error, when the layout has fewer processors than threads.
bool PlaceThreads(const MachineLayout& layout, uint32_t threadCount, ThreadPlacement* placement,
                  std::string* error);

struct CacheLevelShare {
  uint32_t level;
  LevelShare share;  // bytes: the smallest and largest of the threads' shares of this level
};

struct CacheShareReport {
  std::vector<CacheLevelShare> levels;  // ascending level
  // True when the shares come from counts (size / min(sharedBy, threads))
  // because the processor sets or the threads' processors are unknown.
  bool fallback;
};

// The shares of bound threads: a thread's share of a cache is the instance's
// size over the number of the run's threads on its processors.
CacheShareReport CacheShares(const MachineLayout& layout, const ThreadPlacement& placement);
// The shares of threadCount threads left to the scheduler: size / min(sharedBy, threads).
CacheShareReport UnboundCacheShares(const MachineLayout& layout, uint32_t threadCount);
// One thread's share of a cache by count: size / min(sharedBy, threads), a
// sharedBy of 0 (unknown) counting as 1.
uint64_t CountedShare(uint64_t sizeBytes, uint32_t sharedBy, uint32_t threadCount);

// "thread 0: processor 2, core 1, package 0, L1 #1, L2 #1, L3 #0"
std::string DescribeThreadPlace(uint32_t thread, const ThreadPlace& place);
