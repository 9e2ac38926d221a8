// What the survey knows of the machine before it measures: the caches (from
// CPUID, the system's view only warning), the processors and cache instances
// the system reports, the instruction sets and the clocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/survey/processors.h"

// A data or unified cache level as the survey uses it.
struct SurveyCache {
  std::string name;  // "L1", "L2", "L3"
  uint32_t level;
  uint64_t sizeBytes;
  uint32_t lineSize;
  uint32_t sharedBy;  // logical processors, by CPUID's count
};

struct SurveyMachine {
  std::string vendor;
  std::vector<SurveyCache> caches;
  std::string cacheSource;                    // which CPUID leaf gave the caches
  std::vector<std::string> cacheDescriptions; // one line per cache, instruction caches too
  std::string cacheWarning;                   // the system disagreeing with the processor, or ""
  MachineLayout layout;                       // processors, cores and cache instances
  std::string layoutSource;                   // where the layout came from, said for the report
  uint32_t supportedIsas = 0;
  uint64_t tscHz = 0;
  uint64_t coreHz = 0;                        // measured once, unbound, before any run
};

// Probes the machine: CPUID's caches and instruction sets, the system's
// layout (or CPUID's counts where it gives none), the time-stamp counter's
// rate and the core clock.
SurveyMachine ProbeSurveyMachine();
