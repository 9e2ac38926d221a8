// Load-to-use latency of the survey's pointer chase beside an independent C++
// chase of the same size and page kind, in one run. The C++ chase is a plain
// loop over a std::vector<uint32_t> whose entries, one per 64-byte line, hold
// the index of the next line in a random cycle, timed with std::chrono.
//
// Each benchmark runs once and reports nanoseconds and core cycles per load
// (core clock measured with a chain of dependent additions); a table after the
// run gives both chases side by side, and the huge pages granted.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/survey/memory.h"
#include "probe/clock.h"
#include "probe/core_clock.h"
#include "survey/chase.h"

namespace {

const uint32_t lineSize = 64;
// Short runs and many of them: on a shared machine the best run is then one
// that nothing else interrupted. --min-us=N and --repeats=N change them.
uint32_t repeats = 21;
double minSeconds = 100e-6;
uint64_t tscHz = 0;
double coreHz = 0;

// The reference's index array sits on the survey's buffers too, so that both
// chases have the same page kind.
template <class T>
struct PageAllocator {
  using value_type = T;
  bool huge = false;
  explicit PageAllocator(bool hugePages) : huge(hugePages) {}
  template <class U>
  PageAllocator(const PageAllocator<U>& other) : huge(other.huge) {}
  T* allocate(size_t n) {
    void* p = CommitSurveyBuffer(n * sizeof(T), huge);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) { ReleaseSurveyBuffer(p, n * sizeof(T)); }
  bool operator==(const PageAllocator& other) const { return huge == other.huge; }
  bool operator!=(const PageAllocator& other) const { return huge != other.huge; }
};

// ------------------------------------------------------------- the chases

struct Figure {
  double survey = 0, reference = 0;  // nanoseconds per load
  uint64_t hugeKiBSurvey = 0, hugeKiBReference = 0;
};
std::map<std::pair<uint64_t, bool>, Figure> figures;

void SetCounters(benchmark::State& state, double nanoseconds) {
  state.counters["ns_per_load"] = nanoseconds;
  state.counters["core_cycles_per_load"] = nanoseconds * coreHz / 1e9;
}

void SurveyChase(benchmark::State& state) {
  const uint64_t bytes = static_cast<uint64_t>(state.range(0));
  const bool huge = state.range(1) != 0;
  void* buffer = CommitSurveyBuffer(bytes, huge);
  if (!buffer) return state.SkipWithError("no memory");
  uint64_t picoseconds = 0;
  for (auto _ : state) picoseconds = MeasureChaseLatencyPicoseconds(buffer, bytes, lineSize, static_cast<uint64_t>(tscHz * minSeconds), repeats, tscHz);
  Figure& figure = figures[{bytes, huge}];
  figure.survey = picoseconds / 1000.0;
  figure.hugeKiBSurvey = HugePageBytes(buffer, bytes) >> 10;
  SetCounters(state, figure.survey);
  ReleaseSurveyBuffer(buffer, bytes);
}

uint32_t WalkIndices(const uint32_t* next, uint32_t at, uint64_t steps) {
  for (uint64_t s = 0; s < steps; ++s) at = next[at];
  return at;
}

void ReferenceChase(benchmark::State& state) {
  const uint64_t bytes = static_cast<uint64_t>(state.range(0));
  const bool huge = state.range(1) != 0;
  const uint32_t stride = lineSize / sizeof(uint32_t);
  const uint32_t lines = static_cast<uint32_t>(bytes / lineSize);
  std::vector<uint32_t, PageAllocator<uint32_t>> next(bytes / sizeof(uint32_t), 0, PageAllocator<uint32_t>(huge));
  // Sattolo over the line numbers: one cycle through every line.
  std::vector<uint32_t> order(lines);
  std::iota(order.begin(), order.end(), 0u);
  std::mt19937_64 random(12345);
  for (uint32_t i = lines - 1; i > 0; --i) std::swap(order[i], order[std::uniform_int_distribution<uint32_t>(0, i - 1)(random)]);
  for (uint32_t k = 0; k < lines; ++k) next[k * stride] = order[k] * stride;

  uint32_t at = WalkIndices(next.data(), 0, lines);
  double best = 1e30;
  for (auto _ : state) {
    for (uint32_t run = 0; run < repeats; ++run) {
      uint64_t steps = lines;
      double seconds = 0;
      for (;;) {
        const auto t0 = std::chrono::steady_clock::now();
        at = WalkIndices(next.data(), at, steps);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (seconds >= minSeconds) break;
        steps *= 2;
      }
      best = std::min(best, seconds * 1e9 / static_cast<double>(steps));
    }
  }
  benchmark::DoNotOptimize(at);
  Figure& figure = figures[{bytes, huge}];
  figure.reference = best;
  figure.hugeKiBReference = HugePageBytes(next.data(), bytes) >> 10;
  SetCounters(state, best);
}

void RegisterAll() {
  const std::vector<std::pair<int64_t, int64_t>> cases = {
      {16 << 10, 0}, {512 << 10, 0}, {4 << 20, 0}, {4 << 20, 1}, {64 << 20, 0}, {64 << 20, 1}, {256 << 20, 0}, {256 << 20, 1}};
  for (const auto& c : cases) {
    benchmark::RegisterBenchmark("SurveyChase", SurveyChase)->Args({c.first, c.second})->Iterations(1)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ReferenceChase", ReferenceChase)->Args({c.first, c.second})->Iterations(1)->Unit(benchmark::kMillisecond);
  }
}

void PrintTable() {
  std::printf("\ncounter %.3f GHz, core %.3f GHz\n", tscHz / 1e9, coreHz / 1e9);
  std::printf("%10s %6s | %9s %7s | %9s %7s | %6s | %s\n", "size", "pages", "survey ns", "cycles", "C++ ns", "cycles",
              "ratio", "huge pages granted (survey / C++)");
  for (const auto& entry : figures) {
    const Figure& f = entry.second;
    std::printf("%7llu KiB %6s | %9.2f %7.1f | %9.2f %7.1f | %6.3f | %llu / %llu\n",
                static_cast<unsigned long long>(entry.first.first >> 10), entry.first.second ? "2 MiB" : "4 KiB", f.survey,
                f.survey * coreHz / 1e9, f.reference, f.reference * coreHz / 1e9, f.survey / f.reference,
                static_cast<unsigned long long>(f.hugeKiBSurvey >> 11),
                static_cast<unsigned long long>(f.hugeKiBReference >> 11));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--min-us=", 9) == 0) {
      minSeconds = std::strtod(argv[i] + 9, nullptr) * 1e-6;
    } else if (std::strncmp(argv[i], "--repeats=", 10) == 0) {
      repeats = static_cast<uint32_t>(std::strtoul(argv[i] + 10, nullptr, 10));
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (repeats == 0 || !(minSeconds > 0)) {
    std::fprintf(stderr, "--repeats and --min-us must be positive\n");
    return 2;
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
  tscHz = MeasureClockFrequency();
  coreHz = static_cast<double>(MeasureCoreClockHz());
  if (tscHz == 0) {
    std::fprintf(stderr, "the time-stamp counter's rate could not be measured\n");
    return 1;
  }
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  PrintTable();
  benchmark::Shutdown();
  return 0;
}
