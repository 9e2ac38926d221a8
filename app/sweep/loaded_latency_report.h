// What the loaded-latency mode prints and writes: the table a person reads
// (loaded_latency_table.cpp), the JSON for programs (loaded_latency_json.cpp)
// and a CSV row per point (loaded_latency_csv.cpp), all from the measured
// curves, the run's setup, the machine and the run's context.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/sweep/machine_context.h"
#include "survey/loaded_latency.h"
#include "survey/machine.h"

struct LoadedLatencyRun {
  LoadedLatencySetup setup;                // processors (the chaser first), buffers, kernels, delays
  uint64_t lastLevelCacheBytes = 0;        // the largest cache, 0 when unknown
  std::vector<LoadedLatencyCurve> curves;  // one per traffic kind, in the order measured
};

// What every figure is, said once, one sentence a line.
std::string LoadedLatencyRuleText();
// The kernels a traffic kind runs, "ReadAvx2" or "ReadAvx2 2 : WriteAvx2NonTemporal 1".
std::string LoadedTrafficKernelsText(LoadedTraffic traffic, const LoadedKernels& kernels);
// Latency in core cycles with one decimal at the measured core clock, "-" without it.
std::string LatencyCyclesText(uint64_t picoseconds, uint64_t coreHz);

std::string FormatLoadedLatencyText(const LoadedLatencyRun& run, const SurveyMachine& machine,
                                    const RunContext& context, uint64_t elapsedMilliseconds);
std::string FormatLoadedLatencyJson(const LoadedLatencyRun& run, const SurveyMachine& machine,
                                    const RunContext& context, uint64_t elapsedMilliseconds);
std::string FormatLoadedLatencyCsv(const LoadedLatencyRun& run);
