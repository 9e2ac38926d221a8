// The survey: every level of the memory hierarchy measured with every kernel
// the machine supports, over geometric block lengths from 2 KiB to far past
// the last cache. Its record is its own; the exact sweep's is untouched.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "survey/kernel_table.h"
#include "survey/levels.h"
#include "survey/machine.h"
#include "survey/placement.h"

struct SurveySettings {
  uint64_t maxSize = 0;                 // largest length in bytes
  uint32_t pointsPerDoubling = 8;
  uint64_t minTimeNanoseconds = 50000;  // one measurement lasts at least this
  uint32_t repeats = 5;
  bool hugePages = false;
  uint32_t wantedIsas = kAllIsas;
  bool latency = false;                 // also the load-to-use latency at every length
  // The caller's stop request (survey/stop_request.h), or null: raised from
  // another thread, it ends MeasureSurveyRun and MeasureSurveyLatency at
  // their next look, as SurveyStopped, with nothing recorded.
  const std::atomic<bool>* stop = nullptr;
};

// One level's figures: read, write and copy.
struct SurveyLevel {
  std::string name;  // a cache's name or "memory"
  LevelShare share;  // a thread's share of the cache; 0 for memory
  LevelWindow window;
  LevelFigure figures[kSurveyGroupCount];
  WhyAbsent absent;  // why the window holds no length, when it holds none
};

// Where a run's threads are placed and what each thread's share of every
// cache is (from the operating system's view of which processors share each
// cache instance, or from CPUID's counts where it has none).
struct SurveyPlacement {
  uint32_t threadCount = 1;
  bool bound = false;
  std::vector<ThreadPlace> threads;  // per thread when bound
  std::vector<LevelShare> shares;    // per cache of the record
  bool sharesCores = false;          // more threads than cores: hardware threads share a core
  bool sharesFromCounts = false;     // no processor sets known: CPUID's "shared by" counts
};

// The placement of threads threads over layout (bound unless bind is false),
// with every cache of caches shared as the layout's instances are; a level
// the layout lacks is shared by CPUID's count. False, with the reason in
// error, when the layout has too few processors.
bool PlaceSurveyRun(const MachineLayout& layout, const std::vector<SurveyCache>& caches, uint32_t threads, bool bind,
                    SurveyPlacement* placement, std::string* error);

// One run of the survey with a number of threads.
struct SurveyRun {
  uint32_t threads = 1;
  SurveyPlacement placement;
  std::vector<uint32_t> kernels;        // indices into surveyKernels, in run order
  std::vector<uint64_t> lengths;        // each thread's block; the last is its buffers' size
  uint32_t passes = 0;
  std::vector<uint64_t> passRates;      // [(pass * kernels + slot) * lengths + length], bytes per second of all threads
  std::vector<uint64_t> kernelRates;    // [slot * lengths + length]: the best pass, from passRates
  std::vector<uint64_t> bestRates[kSurveyGroupCount];    // per length
  std::vector<uint32_t> bestKernels[kSurveyGroupCount];  // kernel index behind each
  std::vector<uint64_t> threadCoreHz;   // each thread's core clock, measured at once after the widest kernel ran
  uint64_t coreHz = 0;                  // their mean; bytes per cycle per thread divide by it
  uint64_t hugePageBytes = 0;           // of all buffers, on huge pages, as the system reports
  std::vector<SurveyLevel> levels;
};

// The load-to-use latency: one thread alone, with one thread's windows.
struct SurveyLatency {
  bool measured = false;
  SurveyPlacement placement;            // the one thread
  std::vector<uint64_t> lengths;
  std::vector<uint64_t> picoseconds;    // per length
  std::vector<LevelWindow> windows;     // per level, as the levels of the runs
  std::vector<LevelFigure> levels;      // per level: the median latency in picoseconds (rate holds it)
  uint64_t coreHz = 0;                  // the chasing thread's core clock
};

// The survey as it goes through its stages: the settings and the machine
// (probed), the plan, then a run per thread count and the latency (measured,
// with their levels), then the reports.
struct SurveyRecord {
  SurveySettings settings;
  SurveyMachine machine;
  std::vector<SurveyRun> runs;  // one per thread count, in the order asked for
  SurveyLatency latency;
};

// What every run measures: the kernels both the machine and the settings
// allow, and the block lengths.
struct SurveyPlan {
  std::vector<uint32_t> kernels;  // indices into surveyKernels
  std::vector<uint64_t> lengths;
};
SurveyPlan PlanSurvey(const SurveySettings& settings, const SurveyMachine& machine);

// Where the run is, for progress displays, between measurements; returning
// false stops the run as a raised stop request does.
struct SurveyProgress {
  uint64_t length;
  uint64_t workDone, workTotal;  // estimated nanoseconds of measuring
  uint32_t pass, passes;         // the repeats are passes through every length
  bool latency;                  // the latency chase rather than a bandwidth run
  // What has been measured so far, for a live view: the run being measured
  // (its passRates filled up to here, 0 where not yet) or the latency
  // (picoseconds per length done). Valid only during the call; null otherwise.
  const SurveyRun* runSoFar;
  const SurveyLatency* latencySoFar;
};
typedef bool (*SurveyProgressFunction)(const SurveyProgress& progress, void* context);

enum SurveyOutcome { SurveyCompleted, SurveyStopped, SurveyNoThreads, SurveyNoKernels, SurveyNoLengths };

// Measures one run of plan on placement's threads (bound to their
// processors when placement.bound) and computes its levels. SurveyNoThreads
// with the reason in error when the threads or their buffers cannot be had.
SurveyOutcome MeasureSurveyRun(const SurveyRecord& record, const SurveyPlan& plan, const SurveyPlacement& placement,
                               SurveyProgressFunction progress, void* context, SurveyRun* run, std::string* error);

// Measures the load-to-use latency at every length of plan on one thread
// (placement holds one thread, or is unbound), with one thread's windows.
SurveyOutcome MeasureSurveyLatency(const SurveyRecord& record, const SurveyPlan& plan, const SurveyPlacement& placement,
                                   SurveyProgressFunction progress, void* context, SurveyLatency* latency,
                                   std::string* error);

// Estimated nanoseconds of one measurement of one kernel at one length, for
// progress: the minimum time, or a call at an assumed 8 GB/s where that
// lasts longer, plus the untimed call.
uint64_t EstimatedWork(uint64_t length, const SurveySettings& settings);

// The default largest length: the larger of 64 MiB and 8 times the last
// level, capped where two buffers of it would pass half of availableBytes (a
// thread's share of the free memory; 0: unknown, no cap). *capped tells
// whether the cap applied.
uint64_t DefaultMaxSize(uint64_t lastLevelBytes, uint64_t availableBytes, bool* capped);

// The processors of a placement's threads, in thread order.
std::vector<uint32_t> PlacedProcessors(const SurveyPlacement& placement);
// The mean of the values that are not 0 (a clock that could not be measured); 0 when none.
uint64_t MeanOfMeasured(const std::vector<uint64_t>& values);
