// Transfer rate of every kernel, and of the intrinsic reference loops, at a
// first-level-cache, a second-level-cache and a main-memory block length.
// Each benchmark runs three times; after the run a table gives the best rate
// of each kernel and its ratio to the reference loop of the same kind.
//
// Lengths can be changed: --lengths=16384,262144,268435456 (bytes, multiples
// of 128). Other arguments go to Google Benchmark.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/reference_kernels.h"
#include "measure/kernels.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "bench/wide_reference_kernels.h"
#include "measure/kernels_wide.h"
#include "probe/isa.h"
#endif

namespace {

std::vector<uint32_t> lengths = {16u << 10, 256u << 10, 256u << 20};

// Two page-aligned buffers of the longest length; the source has every page
// written, so each has its own memory.
uint8_t* Buffer(int which) {
  static uint8_t* buffers[2] = {nullptr, nullptr};
  if (!buffers[which]) {
    uint32_t longest = 0;
    for (uint32_t l : lengths) longest = l > longest ? l : longest;
    void* p = std::aligned_alloc(4096, longest);
    if (!p) std::abort();
    std::memset(p, 0x5A + which, longest);
    buffers[which] = static_cast<uint8_t*>(p);
  }
  return buffers[which];
}
const uint8_t* Source() { return Buffer(0); }
uint8_t* Destination() { return Buffer(1); }

using ReadFn = void (*)(const void*, uint32_t);
using WriteFn = void (*)(void*, uint32_t);
using CopyFn = void (*)(const void*, void*, uint32_t);

void Finish(benchmark::State& state, uint32_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void RunRead(benchmark::State& state, ReadFn kernel) {
  uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Source(), bytes);
  for (auto _ : state) kernel(Source(), bytes);
  Finish(state, bytes);
}
void RunWrite(benchmark::State& state, WriteFn kernel) {
  uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Destination(), bytes);
  for (auto _ : state) {
    kernel(Destination(), bytes);
    benchmark::ClobberMemory();
  }
  Finish(state, bytes);
}
void RunCopy(benchmark::State& state, CopyFn kernel) {
  uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Source(), Destination(), bytes);
  for (auto _ : state) {
    kernel(Source(), Destination(), bytes);
    benchmark::ClobberMemory();
  }
  Finish(state, bytes);
}
template <uint64_t (*kRead)(const void*, uint32_t)>
void RunReferenceRead(benchmark::State& state) {
  uint32_t bytes = static_cast<uint32_t>(state.range(0));
  benchmark::DoNotOptimize(kRead(Source(), bytes));
  for (auto _ : state) benchmark::DoNotOptimize(kRead(Source(), bytes));
  Finish(state, bytes);
}
void RunEmpty(benchmark::State& state) {
  for (auto _ : state) EmptyKernel();
}

// Which reference loop a kernel is compared with.
const std::map<std::string, std::string> kReferenceOf = {
    {"ReadMmx", "ReferenceRead"},
    {"ReadSse", "ReferenceRead"},
    {"ReadSse2", "ReferenceRead"},
    {"ReadMmxPrefetch", "ReferenceReadPrefetch"},
    {"ReadSsePrefetch", "ReferenceReadPrefetch"},
    {"ReadSse2Prefetch", "ReferenceReadPrefetch"},
    {"WriteMmx", "ReferenceWrite"},
    {"WriteSse", "ReferenceWrite"},
    {"WriteSse2", "ReferenceWrite"},
    {"WriteMmxNonTemporal", "ReferenceWriteNonTemporal"},
    {"WriteSseNonTemporal", "ReferenceWriteNonTemporal"},
    {"WriteSse2NonTemporal", "ReferenceWriteNonTemporal"},
    {"CopyMmx", "ReferenceCopy"},
    {"CopySse2", "ReferenceCopy"},
    {"CopyMmxNonTemporal", "ReferenceCopyNonTemporal"},
    {"CopySseNonTemporal", "ReferenceCopyNonTemporal"},
    {"WarmCache", "ReferenceRead"},
    {"ReadAvx", "ReferenceReadAvx"},
    {"ReadAvxPrefetch", "ReferenceReadAvx"},
    {"WriteAvx", "ReferenceWriteAvx"},
    {"WriteAvxNonTemporal", "ReferenceWriteAvxNonTemporal"},
    {"CopyAvx", "ReferenceCopyAvx"},
    {"CopyAvxNonTemporal", "ReferenceCopyAvxNonTemporal"},
    {"ReadAvx512", "ReferenceReadAvx512"},
    {"ReadAvx512Prefetch", "ReferenceReadAvx512"},
    {"WriteAvx512", "ReferenceWriteAvx512"},
    {"WriteAvx512NonTemporal", "ReferenceWriteAvx512NonTemporal"},
    {"CopyAvx512", "ReferenceCopyAvx512"},
    {"CopyAvx512NonTemporal", "ReferenceCopyAvx512NonTemporal"},
    {"CopyRepMovsb", "ReferenceMemcpy"},
    {"WriteRepStosb", "ReferenceMemset"},
};

std::vector<std::string> order;  // kernels and references in registration order

template <typename... RunAndKernel>
void Register(const char* name, RunAndKernel... runAndKernel) {
  order.push_back(name);
  auto* b = benchmark::RegisterBenchmark(name, runAndKernel...);
  for (uint32_t l : lengths) b->Arg(l);
  b->Repetitions(3)->MinTime(0.2)->UseRealTime();
}

#ifdef LORVANTA_HAVE_WIDE_KERNELS
// The wide kernels and their intrinsic references, where this machine has
// their instruction set; the string routines against memcpy and memset.
void RegisterWide(const IsaSupport& isa) {
  if (isa.avx) {
    Register("ReadAvx", RunRead, ReadAvx);
    Register("ReadAvxPrefetch", RunRead, ReadAvxPrefetch);
    Register("WriteAvx", RunWrite, WriteAvx);
    Register("WriteAvxNonTemporal", RunWrite, WriteAvxNonTemporal);
    Register("CopyAvx", RunCopy, CopyAvx);
    Register("CopyAvxNonTemporal", RunCopy, CopyAvxNonTemporal);
    Register("ReferenceReadAvx", RunReferenceRead<ReferenceReadAvx>);
    Register("ReferenceWriteAvx", RunWrite, ReferenceWriteAvx);
    Register("ReferenceWriteAvxNonTemporal", RunWrite, ReferenceWriteAvxNonTemporal);
    Register("ReferenceCopyAvx", RunCopy, ReferenceCopyAvx);
    Register("ReferenceCopyAvxNonTemporal", RunCopy, ReferenceCopyAvxNonTemporal);
  } else {
    std::printf("AVX not supported here: the 256-bit kernels are left out\n");
  }
  if (isa.avx512f) {
    Register("ReadAvx512", RunRead, ReadAvx512);
    Register("ReadAvx512Prefetch", RunRead, ReadAvx512Prefetch);
    Register("WriteAvx512", RunWrite, WriteAvx512);
    Register("WriteAvx512NonTemporal", RunWrite, WriteAvx512NonTemporal);
    Register("CopyAvx512", RunCopy, CopyAvx512);
    Register("CopyAvx512NonTemporal", RunCopy, CopyAvx512NonTemporal);
    Register("ReferenceReadAvx512", RunReferenceRead<ReferenceReadAvx512>);
    Register("ReferenceWriteAvx512", RunWrite, ReferenceWriteAvx512);
    Register("ReferenceWriteAvx512NonTemporal", RunWrite, ReferenceWriteAvx512NonTemporal);
    Register("ReferenceCopyAvx512", RunCopy, ReferenceCopyAvx512);
    Register("ReferenceCopyAvx512NonTemporal", RunCopy, ReferenceCopyAvx512NonTemporal);
  } else {
    std::printf("AVX-512F not supported here: the 512-bit kernels are left out\n");
  }
  Register("CopyRepMovsb", RunCopy, CopyRepMovsb);
  Register("WriteRepStosb", RunWrite, WriteRepStosb);
  Register("ReferenceMemcpy", RunCopy, ReferenceMemcpy);
  Register("ReferenceMemset", RunWrite, ReferenceMemset);
}
#endif

void RegisterAll() {
  Register("ReadMmx", RunRead, ReadMmx);
  Register("ReadMmxPrefetch", RunRead, ReadMmxPrefetch);
  Register("ReadSse", RunRead, ReadSse);
  Register("ReadSsePrefetch", RunRead, ReadSsePrefetch);
  Register("ReadSse2", RunRead, ReadSse2);
  Register("ReadSse2Prefetch", RunRead, ReadSse2Prefetch);
  Register("WriteMmx", RunWrite, WriteMmx);
  Register("WriteMmxNonTemporal", RunWrite, WriteMmxNonTemporal);
  Register("WriteSse", RunWrite, WriteSse);
  Register("WriteSseNonTemporal", RunWrite, WriteSseNonTemporal);
  Register("WriteSse2", RunWrite, WriteSse2);
  Register("WriteSse2NonTemporal", RunWrite, WriteSse2NonTemporal);
  Register("CopyMmx", RunCopy, CopyMmx);
  Register("CopyMmxNonTemporal", RunCopy, CopyMmxNonTemporal);
  Register("CopySseNonTemporal", RunCopy, CopySseNonTemporal);
  Register("CopySse2", RunCopy, CopySse2);
  Register("WarmCache", RunRead, WarmCache);
  Register("TouchBuffer", RunWrite, TouchBuffer);
  Register("ReferenceRead", RunReferenceRead<ReferenceRead>);
  Register("ReferenceReadPrefetch", RunReferenceRead<ReferenceReadPrefetch>);
  Register("ReferenceWrite", RunWrite, ReferenceWrite);
  Register("ReferenceWriteNonTemporal", RunWrite, ReferenceWriteNonTemporal);
  Register("ReferenceCopy", RunCopy, ReferenceCopy);
  Register("ReferenceCopyNonTemporal", RunCopy, ReferenceCopyNonTemporal);
  benchmark::RegisterBenchmark("EmptyKernel", RunEmpty)->Repetitions(3)->MinTime(0.2);
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  RegisterWide(DetectIsaSupport());
#endif
}

// Prints the single runs as usual and keeps the best rate of each
// benchmark and length.
class BestRateReporter : public benchmark::ConsoleReporter {
 public:
  BestRateReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      shown.push_back(run);
      auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      double& best = best_[run.run_name.function_name + "/" + run.run_name.args];
      if (rate->second.value > best) best = rate->second.value;
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }
  double Best(const std::string& name, uint32_t length) const {
    auto it = best_.find(name + "/" + std::to_string(length));
    return it == best_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> best_;
};

void PrintTable(const BestRateReporter& reporter) {
  std::printf("\nBest of three runs, GB/s (10^9 bytes per second); in brackets the ratio to the reference loop\n");
  std::printf("%-26s", "kernel");
  for (uint32_t l : lengths) std::printf("  %22u B", l);
  std::printf("\n");
  for (const std::string& name : order) {
    std::printf("%-26s", name.c_str());
    for (uint32_t l : lengths) {
      double rate = reporter.Best(name, l);
      auto ref = kReferenceOf.find(name);
      double reference = ref == kReferenceOf.end() ? 0 : reporter.Best(ref->second, l);
      if (rate == 0)
        std::printf("  %24s", "-");
      else if (reference > 0)
        std::printf("  %10.2f (%5.2f x ref)", rate / 1e9, rate / reference);
      else
        std::printf("  %10.2f              ", rate / 1e9);
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--lengths=", 10) == 0) {
      lengths.clear();
      for (char* p = argv[i] + 10; *p;) {
        unsigned long l = std::strtoul(p, &p, 10);
        if (l == 0 || l % 128 != 0 || l > 0xFFFFFF80ul) {
          std::fprintf(stderr, "lengths must be positive multiples of 128 below 4 GiB\n");
          return 2;
        }
        lengths.push_back(static_cast<uint32_t>(l));
        if (*p == ',') ++p;
      }
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
  RegisterAll();
  BestRateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintTable(reporter);
  benchmark::Shutdown();
  return 0;
}
