// The loaded-latency curve's point with the largest delay, where the loaders
// hardly move anything, against two idle chases at the same buffer size and
// page kind: the survey's latency routine, and an independent chase written
// here (its own random cycle from std::shuffle, its own loop of volatile
// pointer loads, the steady clock). The curve is measured and printed first;
// then its last point and the two idle chases alternate, A B A B, in rounds,
// and the ratios are printed per round and as medians.
//   lorvanta_loaded_latency_vs_idle [--traffic read|write|copy|mix] [--buffer-mib N] [--huge-pages]
//                                   [--rounds N] [--min-ms N]
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/survey/memory.h"
#include "platform/survey/processors.h"
#include "probe/clock.h"
#include "probe/isa.h"
#include "survey/chase.h"
#include "survey/loaded_latency.h"
#include "survey/placement.h"

namespace {
constexpr uint64_t kLine = 64;
constexpr uint64_t kHugeAlignment = uint64_t{2} << 20;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// The independent chase: lines linked in the order of a shuffled list of all
// lines (one cycle through every line), walked by volatile loads.
struct IndependentChase {
  char* lines = nullptr;
  uint64_t count = 0;
};

IndependentChase BuildIndependentChase(uint64_t bytes, bool hugePages) {
  IndependentChase chase;
  chase.count = bytes / kLine;
  chase.lines = static_cast<char*>(std::aligned_alloc(kHugeAlignment, chase.count * kLine));
  if (chase.lines == nullptr) return chase;
  if (hugePages) madvise(chase.lines, chase.count * kLine, MADV_HUGEPAGE);
  std::vector<uint64_t> order(chase.count);
  std::iota(order.begin(), order.end(), uint64_t{0});
  std::mt19937_64 generator(12345);
  std::shuffle(order.begin(), order.end(), generator);
  for (uint64_t i = 0; i < chase.count; ++i) {
    char* from = chase.lines + order[i] * kLine;
    char* to = chase.lines + order[(i + 1) % chase.count] * kLine;
    std::memset(from, 0x5A, kLine);
    *reinterpret_cast<char**>(from) = to;
  }
  return chase;
}

// Nanoseconds per load over `loads` loads after one untimed million.
double IndependentNanoseconds(const IndependentChase& chase, uint64_t loads) {
  char* volatile* position = reinterpret_cast<char* volatile*>(chase.lines);
  for (uint64_t i = 0; i < 1000000; ++i) position = reinterpret_cast<char* volatile*>(*position);
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < loads; ++i) position = reinterpret_cast<char* volatile*>(*position);
  const auto end = std::chrono::steady_clock::now();
  if (position == nullptr) std::printf("(the walk left the cycle)\n");
  return std::chrono::duration<double, std::nano>(end - start).count() / static_cast<double>(loads);
}

void PinTo(uint32_t processor) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(processor, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

bool ParseTraffic(const char* name, LoadedTraffic* traffic) {
  const struct { const char* name; LoadedTraffic traffic; } kinds[] = {
      {"read", TrafficRead}, {"write", TrafficWrite}, {"copy", TrafficCopy}, {"mix", TrafficMix}};
  for (const auto& kind : kinds)
    if (std::strcmp(name, kind.name) == 0) return *traffic = kind.traffic, true;
  return false;
}
}  // namespace

int main(int argc, char** argv) {
  LoadedTraffic traffic = TrafficRead;
  uint64_t bufferMiB = 0;  // 0: 8 × the last-level cache
  bool hugePages = false;
  uint32_t rounds = 5, minMilliseconds = 100;
  for (int i = 1; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--huge-pages") == 0) hugePages = true;
    else if (valued && std::strcmp(argv[i], "--traffic") == 0 && ParseTraffic(argv[i + 1], &traffic)) ++i;
    else if (valued && std::strcmp(argv[i], "--buffer-mib") == 0) bufferMiB = std::stoull(argv[++i]);
    else if (valued && std::strcmp(argv[i], "--rounds") == 0) rounds = static_cast<uint32_t>(std::stoul(argv[++i]));
    else if (valued && std::strcmp(argv[i], "--min-ms") == 0)
      minMilliseconds = static_cast<uint32_t>(std::stoul(argv[++i]));
    else return std::fprintf(stderr, "unknown or incomplete option %s\n", argv[i]), 2;
  }
  MachineLayout layout;
  ThreadPlacement placement;
  std::string error;
  if (!ReadMachineLayout(&layout, &error) ||
      !PlaceThreads(layout, static_cast<uint32_t>(layout.processors.size()), &placement, &error) ||
      placement.threads.size() < 2)
    return std::fprintf(stderr, "needs two processors: %s\n", error.c_str()), 1;
  uint64_t lastLevel = 0;
  for (const LayoutCache& cache : layout.caches) lastLevel = std::max(lastLevel, cache.sizeBytes);
  LoadedLatencySetup setup{{}, bufferMiB != 0 ? bufferMiB << 20 : 8 * lastLevel, hugePages, kLine, 0,
                           MeasureClockFrequency(), ChooseLoadedKernels(SurveyIsasOf(DetectIsaSupport())), 1u << 22};
  for (const ThreadPlace& place : placement.threads) setup.processors.push_back(place.processor);
  setup.minTicks = setup.tscHz / 1000 * minMilliseconds;
  std::printf("buffer %llu MiB per thread, %zu threads (chaser on processor %u), huge pages %s, kernels %s %s %s\n",
              static_cast<unsigned long long>(setup.bufferBytes >> 20), setup.processors.size(), setup.processors[0],
              hugePages ? "asked" : "not asked", setup.kernels.read ? setup.kernels.read->name : "-",
              setup.kernels.write ? setup.kernels.write->name : "-",
              setup.kernels.copy ? setup.kernels.copy->name : "-");

  LoadedLatencyCurve curve;
  if (MeasureLoadedLatencyCurve(setup, traffic, nullptr, nullptr, &curve, &error) != LoadedMeasured)
    return std::fprintf(stderr, "curve: %s\n", error.c_str()), 1;
  std::printf("curve: core clock %.3f GHz, huge pages %llu MiB of %llu MiB\n", curve.coreHz / 1e9,
              static_cast<unsigned long long>(curve.hugePageBytes >> 20),
              static_cast<unsigned long long>(curve.threads * curve.bufferBytes >> 20));
  std::printf("%10s %12s %10s %12s %12s\n", "delay", "achieved", "GB/s", "latency ns", "cycles");
  for (const LoadedLatencyPoint& point : curve.points)
    std::printf("%10u %12.2f %10.3f %12.2f %12.1f\n", point.delayCycles, point.delayCyclesHundredths / 100.0,
                point.bytesPerSecond / 1e9, point.latencyPicoseconds / 1000.0,
                point.latencyPicoseconds / 1e12 * static_cast<double>(curve.coreHz));
  const uint32_t largestDelay = curve.points.back().delayCycles;

  // The idle chases run on the chaser's processor, with buffers of the same size and page kind.
  PinTo(setup.processors[0]);
  void* surveyBuffer = CommitSurveyBuffer(setup.bufferBytes, hugePages);
  const IndependentChase independent = BuildIndependentChase(setup.bufferBytes, hugePages);
  if (surveyBuffer == nullptr || independent.lines == nullptr) return std::fprintf(stderr, "no memory\n"), 1;
  std::printf("idle chases: huge pages %llu MiB (survey's), %llu MiB (independent)\n",
              static_cast<unsigned long long>(HugePageBytes(surveyBuffer, setup.bufferBytes) >> 20),
              static_cast<unsigned long long>(HugePageBytes(independent.lines, setup.bufferBytes) >> 20));
  std::vector<double> toSurvey, toIndependent;
  std::printf("%6s %12s %12s %12s %10s %10s\n", "round", "loaded ns", "survey ns", "indep. ns", "l/survey", "l/indep.");
  for (uint32_t round = 0; round < rounds; ++round) {
    LoadedLatencyCurve point;
    if (MeasureLoadedLatencyPoint(setup, traffic, largestDelay, nullptr, nullptr, &point, &error) != LoadedMeasured)
      return std::fprintf(stderr, "point: %s\n", error.c_str()), 1;
    const double loaded = point.points[0].latencyPicoseconds / 1000.0;
    const double survey = MeasureChaseLatencyPicoseconds(surveyBuffer, setup.bufferBytes, kLine, setup.minTicks, 3,
                                                         setup.tscHz) / 1000.0;
    const double own = IndependentNanoseconds(independent, 4000000);
    toSurvey.push_back(loaded / survey);
    toIndependent.push_back(loaded / own);
    std::printf("%6u %12.2f %12.2f %12.2f %10.3f %10.3f\n", round, loaded, survey, own, toSurvey.back(),
                toIndependent.back());
  }
  std::printf("median ratios at delay %u: loaded / survey %.3f, loaded / independent %.3f\n", largestDelay,
              Median(toSurvey), Median(toIndependent));
  ReleaseSurveyBuffer(surveyBuffer, setup.bufferBytes);
  std::free(independent.lines);
  return 0;
}
