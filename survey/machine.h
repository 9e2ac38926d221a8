// What the survey knows of the machine before it measures: the caches (from
// CPUID, the system's view only warning), the processors and cache instances
// the system reports, the instruction sets and the clocks, and the context
// recorded with the results: who the processor is and what the system says
// of itself.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/survey/processors.h"
#include "platform/survey/system_context.h"
#include "probe/processor_identity.h"

// A data or unified cache level as the survey uses it.
struct SurveyCache {
  std::string name;  // "L1", "L2", "L3"
  uint32_t level;
  uint64_t sizeBytes;
  uint32_t lineSize;
  uint32_t sharedBy;  // logical processors, by CPUID's count
};

struct SurveyMachine {
  std::vector<SurveyCache> caches;
  std::string cacheSource;                    // which CPUID leaf gave the caches
  std::vector<std::string> cacheDescriptions; // one line per cache, instruction caches too
  std::string cacheWarning;                   // the system disagreeing with the processor, or ""
  MachineLayout layout;                       // processors, cores and cache instances
  std::string layoutSource;                   // where the layout came from, said for the report
  uint32_t supportedIsas = 0;
  uint64_t tscHz = 0;
  uint64_t coreHz = 0;                        // measured once, unbound, before any run
  ProcessorIdentity identity;                 // vendor, brand, family, model, stepping, hypervisor (CPUID)
  std::string brandWhy, hypervisorWhy;        // why the brand or hypervisor is empty, "" where given
  SystemContext system;                       // the system's name, kernel, microcode, memory, ...
  uint32_t cores = 0;                         // distinct cores of the layout's processors
};

// Probes the machine: CPUID's caches and instruction sets, the system's
// layout (or CPUID's counts where it gives none), the time-stamp counter's
// rate and the core clock; and the context.
SurveyMachine ProbeSurveyMachine();
