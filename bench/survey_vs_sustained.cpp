// The survey's per-level figures beside the sustained rate of the same kernel,
// timed again in the same run: a check of the survey's short measurements
// against long ones, not an independent reference (it calls the kernel
// through the survey's own call path, on buffers of the survey's fill, so it
// shares their faults: survey_memory_vs_references is the independent check).
// The survey runs as a child process
// (lorvanta-sweep --survey --json), then every figure's kernel is timed here
// at the middle length of the level's window, with the steady clock (not the
// survey's counter) around calls back to back for at least 20 ms, on buffers of its own; the best of
// such windows, taken in passes through all figures for at least 30 s, so
// that they spread over time as the survey's repeats do (on a shared machine
// another tenant may take the core's second hardware thread, which halves
// cache rates, or the shared last-level cache, for seconds at a time).
// Also reports the lengths of 2-8 KiB against the L1 read figure, and the
// survey's time and peak memory.
//
// usage: lorvanta_survey_vs_sustained path/to/lorvanta-sweep [survey options]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/survey/memory.h"
#include "survey/kernel_table.h"
#include "survey/timing.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bytes per second of calls back to back to the kernel (the survey's
// own call loop, which also sets the store registers), timed with the steady
// clock, and the seconds they lasted.
double TimeCalls(const SurveyKernel& kernel, const uint8_t* source, uint8_t* destination, uint64_t length,
                 uint64_t calls, double* seconds) {
  const Clock::time_point start = Clock::now();
  const TimedSpan span = TimeKernelCalls(kernel, source, destination, length, calls);
  *seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return *seconds > 0 ? span.bytes / *seconds : 0;
}

// One per-level figure and its independent timing.
struct Item {
  std::string level, group;
  const SurveyKernel* kernel;
  uint64_t middle;
  uint8_t *source, *destination;
  uint64_t calls;  // enough for the sustained time
  double survey, sustained;
};

const double sustainedSeconds = 0.02;
const int minPasses = 15;
const double spreadSeconds = 30;

// The lower middle of the curve's lengths inside (above, up_to].
uint64_t WindowMiddle(const nlohmann::json& lengths, const nlohmann::json& window) {
  std::vector<uint64_t> inside;
  const uint64_t above = window["above"];
  const bool bounded = !window["up_to"].is_null();
  for (const uint64_t length : lengths)
    if (length > above && (!bounded || length <= window["up_to"].get<uint64_t>())) inside.push_back(length);
  return inside.empty() ? 0 : inside[(inside.size() - 1) / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s path/to/lorvanta-sweep [survey options]\n", argv[0]);
    return 2;
  }
  std::string command = std::string(argv[1]) + " --survey --json";
  for (int index = 2; index < argc; ++index) command += std::string(" ") + argv[index];
  const Clock::time_point started = Clock::now();
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return 1;
  std::string output;
  char chunk[65536];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  if (pclose(pipe) != 0) {
    std::fprintf(stderr, "the survey failed: %s\n", command.c_str());
    return 1;
  }
  const double surveySeconds = std::chrono::duration<double>(Clock::now() - started).count();
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const nlohmann::json document = nlohmann::json::parse(output);
  const nlohmann::json& run = document["runs"][0];
  const uint64_t largest = run["buffers"]["bytes_each"];
  std::printf("survey: %.1f s, peak RSS %ld MiB (largest length %llu MiB; 2 x largest + 32 MiB = %llu MiB)\n\n",
              surveySeconds, usage.ru_maxrss / 1024, static_cast<unsigned long long>(largest >> 20),
              static_cast<unsigned long long>((2 * largest >> 20) + 32));

  std::printf("%-7s %-6s %-22s %10s %10s %10s %7s\n", "level", "group", "kernel", "middle", "survey", "sustained",
              "ratio");
  std::vector<Item> items;
  for (const nlohmann::json& level : run["levels"]) {
    const uint64_t middle = WindowMiddle(run["curves"]["lengths_bytes"], level["window_bytes"]);
    for (const char* group : {"read", "write", "copy"}) {
      if (level[group].is_null() || middle == 0) continue;
      Item item{level["name"], group, KernelNamed(level[group]["kernel"].get<std::string>().c_str()), middle, nullptr, nullptr, 1,
                level[group]["bytes_per_second"].get<double>(), 0};
      item.source = static_cast<uint8_t*>(CommitSurveyBuffer(middle, false));
      item.destination = static_cast<uint8_t*>(CommitSurveyBuffer(middle, false));
      if (!item.kernel || !item.source || !item.destination) return 1;
      for (double seconds = 0; TimeCalls(*item.kernel, item.source, item.destination, middle, item.calls, &seconds),
                  seconds < sustainedSeconds;)
        item.calls = static_cast<uint64_t>(item.calls * (seconds > 0 ? 1.2 * sustainedSeconds / seconds : 2)) + 1;
      items.push_back(item);
    }
  }
  // Passes through all of them for half a minute, so that each one's windows
  // are spread over time as the survey spreads its repeats.
  const Clock::time_point timing = Clock::now();
  for (int pass = 0; pass < minPasses || std::chrono::duration<double>(Clock::now() - timing).count() < spreadSeconds;
       ++pass)
    for (Item& item : items) {
      double seconds = 0;
      item.sustained = std::max(item.sustained, TimeCalls(*item.kernel, item.source, item.destination, item.middle,
                                                          item.calls, &seconds));
    }
  double worst = 1;
  for (const Item& item : items) {
    const double ratio = item.survey / item.sustained;
    if (std::abs(ratio - 1) > std::abs(worst - 1)) worst = ratio;
    std::printf("%-7s %-6s %-22s %7llu KiB %5.1f GB/s %5.1f GB/s %7.3f\n", item.level.c_str(), item.group.c_str(),
                item.kernel->name, static_cast<unsigned long long>(item.middle >> 10), item.survey / 1e9,
                item.sustained / 1e9, ratio);
  }
  std::printf("\nfarthest from 1: %.3f\n", worst);

  // The short lengths against the L1 read figure.
  const nlohmann::json& l1 = run["levels"][0]["read"];
  if (!l1.is_null()) {
    const double figure = l1["bytes_per_second"];
    double highest = 0;
    const nlohmann::json& lengths = run["curves"]["lengths_bytes"];
    for (size_t index = 0; index < lengths.size() && lengths[index].get<uint64_t>() <= 8192; ++index)
      highest = std::max(highest, run["curves"]["read"]["best_bytes_per_second"][index].get<double>() / figure);
    std::printf("highest read at 2-8 KiB / L1 read figure: %.3f\n", highest);
  }
  return 0;
}
