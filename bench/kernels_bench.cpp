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
#include "measure/kernel_registry.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "bench/wide_reference_kernels.h"
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

// Which reference loop a kernel is compared with: the string routines with
// memcpy and memset, the others with the loop of their group, register width
// and store kind; the narrow prefetching reads with the prefetching loop.
std::string ReferenceOf(const KernelRow& row) {
  if (row.isa == IsaRep) return row.group == GroupCopy ? "ReferenceMemcpy" : "ReferenceMemset";
  const char* const groups[] = {"Read", "Write", "Copy"};
  std::string name = std::string("Reference") + groups[row.group];
  name += row.isa == IsaAvx ? "Avx" : row.isa == IsaAvx512 ? "Avx512" : "";
  if (row.store == StoreNonTemporal) name += "NonTemporal";
  if (row.group == GroupRead && row.prefetch.kind != PrefetchNone && (row.isa & kWideIsas) == 0) name += "Prefetch";
  return name;
}
std::map<std::string, std::string> referenceOf = {{"WarmCache", "ReferenceRead"}};  // and every registered kernel

std::vector<std::string> order;  // kernels and references in registration order

template <typename... RunAndKernel>
void Register(const char* name, RunAndKernel... runAndKernel) {
  order.push_back(name);
  auto* b = benchmark::RegisterBenchmark(name, runAndKernel...);
  for (uint32_t l : lengths) b->Arg(l);
  b->Repetitions(3)->MinTime(0.2)->UseRealTime();
}

// Every registry row whose instruction set this machine has.
void RegisterKernels() {
#ifdef LORVANTA_HAVE_WIDE_KERNELS
  const IsaSupport isa = DetectIsaSupport();
  if (!isa.avx) std::printf("AVX not supported here: the 256-bit kernels are left out\n");
  if (!isa.avx512f) std::printf("AVX-512F not supported here: the 512-bit kernels are left out\n");
#endif
  for (const KernelRow& row : kernelRegistry) {
#ifdef LORVANTA_HAVE_WIDE_KERNELS
    if ((row.isa == IsaAvx && !isa.avx) || (row.isa == IsaAvx512 && !isa.avx512f)) continue;
#endif
    referenceOf[row.name] = ReferenceOf(row);
    if (row.read) Register(row.name, RunRead, row.read);
    if (row.write) Register(row.name, RunWrite, row.write);
    if (row.copy) Register(row.name, RunCopy, row.copy);
  }
}

#ifdef LORVANTA_HAVE_WIDE_KERNELS
// The wide kernels' intrinsic references, where this machine has their
// instruction set, and memcpy and memset for the string routines.
void RegisterWideReferences(const IsaSupport& isa) {
  if (isa.avx) {
    Register("ReferenceReadAvx", RunReferenceRead<ReferenceReadAvx>);
    Register("ReferenceWriteAvx", RunWrite, ReferenceWriteAvx);
    Register("ReferenceWriteAvxNonTemporal", RunWrite, ReferenceWriteAvxNonTemporal);
    Register("ReferenceCopyAvx", RunCopy, ReferenceCopyAvx);
    Register("ReferenceCopyAvxNonTemporal", RunCopy, ReferenceCopyAvxNonTemporal);
  }
  if (isa.avx512f) {
    Register("ReferenceReadAvx512", RunReferenceRead<ReferenceReadAvx512>);
    Register("ReferenceWriteAvx512", RunWrite, ReferenceWriteAvx512);
    Register("ReferenceWriteAvx512NonTemporal", RunWrite, ReferenceWriteAvx512NonTemporal);
    Register("ReferenceCopyAvx512", RunCopy, ReferenceCopyAvx512);
    Register("ReferenceCopyAvx512NonTemporal", RunCopy, ReferenceCopyAvx512NonTemporal);
  }
  Register("ReferenceMemcpy", RunCopy, ReferenceMemcpy);
  Register("ReferenceMemset", RunWrite, ReferenceMemset);
}
#endif

void RegisterAll() {
  RegisterKernels();
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
  RegisterWideReferences(DetectIsaSupport());
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
      auto ref = referenceOf.find(name);
      double reference = ref == referenceOf.end() ? 0 : reporter.Best(ref->second, l);
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
