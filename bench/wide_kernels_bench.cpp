// Transfer rate of every wide kernel beside an intrinsic reference loop of the
// same kind (memcpy/memset for the string routines), at a first-level-cache,
// a second-level-cache and a main-memory block length. Kernels whose
// instruction set this machine lacks are left out, and the run says so. Each
// benchmark runs three times; the table after the run gives each kernel's
// best rate and its ratio to its reference.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/wide_reference_kernels.h"
#include "measure/kernels_wide.h"
#include "probe/isa.h"

namespace {

const uint32_t kLengths[] = {16u << 10, 256u << 10, 256u << 20};

// Two page-aligned buffers of the longest length, every page written.
uint8_t* Buffer(int which) {
  static uint8_t* buffers[2] = {nullptr, nullptr};
  if (!buffers[which]) {
    void* p = std::aligned_alloc(4096, kLengths[2]);
    if (!p) std::abort();
    std::memset(p, 0x5A + which, kLengths[2]);
    buffers[which] = static_cast<uint8_t*>(p);
  }
  return buffers[which];
}

using ReadFn = void (*)(const void*, uint32_t);
using ReadRefFn = uint64_t (*)(const void*, uint32_t);
using WriteFn = void (*)(void*, uint32_t);
using CopyFn = void (*)(const void*, void*, uint32_t);

void Finish(benchmark::State& state, uint32_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
void RunRead(benchmark::State& state, ReadFn kernel) {
  const uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Buffer(0), bytes);
  for (auto _ : state) kernel(Buffer(0), bytes);
  Finish(state, bytes);
}
void RunReadReference(benchmark::State& state, ReadRefFn kernel) {
  const uint32_t bytes = static_cast<uint32_t>(state.range(0));
  benchmark::DoNotOptimize(kernel(Buffer(0), bytes));
  for (auto _ : state) benchmark::DoNotOptimize(kernel(Buffer(0), bytes));
  Finish(state, bytes);
}
void RunWrite(benchmark::State& state, WriteFn kernel) {
  const uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Buffer(1), bytes);
  for (auto _ : state) {
    kernel(Buffer(1), bytes);
    benchmark::ClobberMemory();
  }
  Finish(state, bytes);
}
void RunCopy(benchmark::State& state, CopyFn kernel) {
  const uint32_t bytes = static_cast<uint32_t>(state.range(0));
  kernel(Buffer(0), Buffer(1), bytes);
  for (auto _ : state) {
    kernel(Buffer(0), Buffer(1), bytes);
    benchmark::ClobberMemory();
  }
  Finish(state, bytes);
}

// Kernel name → its reference, in the order of the table.
std::vector<std::pair<std::string, std::string>> rows;

template <typename Run, typename Fn>
void Register(const char* name, const char* reference, Run run, Fn kernel) {
  if (reference) rows.emplace_back(name, reference);
  auto* b = benchmark::RegisterBenchmark(name, run, kernel);
  for (uint32_t l : kLengths) b->Arg(l);
  b->Repetitions(3)->MinTime(0.2)->UseRealTime();
}

void RegisterAll(const IsaSupport& isa) {
  if (isa.avx) {
    Register("ReadAvx", "ReferenceReadAvx", RunRead, ReadAvx);
    Register("ReadAvxPrefetch", "ReferenceReadAvx", RunRead, ReadAvxPrefetch);
    Register("ReferenceReadAvx", nullptr, RunReadReference, ReferenceReadAvx);
    Register("WriteAvx", "ReferenceWriteAvx", RunWrite, WriteAvx);
    Register("ReferenceWriteAvx", nullptr, RunWrite, ReferenceWriteAvx);
    Register("WriteAvxNonTemporal", "ReferenceWriteAvxNonTemporal", RunWrite, WriteAvxNonTemporal);
    Register("ReferenceWriteAvxNonTemporal", nullptr, RunWrite, ReferenceWriteAvxNonTemporal);
    Register("CopyAvx", "ReferenceCopyAvx", RunCopy, CopyAvx);
    Register("ReferenceCopyAvx", nullptr, RunCopy, ReferenceCopyAvx);
    Register("CopyAvxNonTemporal", "ReferenceCopyAvxNonTemporal", RunCopy, CopyAvxNonTemporal);
    Register("ReferenceCopyAvxNonTemporal", nullptr, RunCopy, ReferenceCopyAvxNonTemporal);
  } else {
    std::printf("AVX not supported here: the 256-bit kernels are left out\n");
  }
  if (isa.avx512f) {
    Register("ReadAvx512", "ReferenceReadAvx512", RunRead, ReadAvx512);
    Register("ReadAvx512Prefetch", "ReferenceReadAvx512", RunRead, ReadAvx512Prefetch);
    Register("ReferenceReadAvx512", nullptr, RunReadReference, ReferenceReadAvx512);
    Register("WriteAvx512", "ReferenceWriteAvx512", RunWrite, WriteAvx512);
    Register("ReferenceWriteAvx512", nullptr, RunWrite, ReferenceWriteAvx512);
    Register("WriteAvx512NonTemporal", "ReferenceWriteAvx512NonTemporal", RunWrite, WriteAvx512NonTemporal);
    Register("ReferenceWriteAvx512NonTemporal", nullptr, RunWrite, ReferenceWriteAvx512NonTemporal);
    Register("CopyAvx512", "ReferenceCopyAvx512", RunCopy, CopyAvx512);
    Register("ReferenceCopyAvx512", nullptr, RunCopy, ReferenceCopyAvx512);
    Register("CopyAvx512NonTemporal", "ReferenceCopyAvx512NonTemporal", RunCopy, CopyAvx512NonTemporal);
    Register("ReferenceCopyAvx512NonTemporal", nullptr, RunCopy, ReferenceCopyAvx512NonTemporal);
  } else {
    std::printf("AVX-512F not supported here: the 512-bit kernels are left out\n");
  }
  Register("CopyRepMovsb", "ReferenceMemcpy", RunCopy, CopyRepMovsb);
  Register("ReferenceMemcpy", nullptr, RunCopy, ReferenceMemcpy);
  Register("WriteRepStosb", "ReferenceMemset", RunWrite, WriteRepStosb);
  Register("ReferenceMemset", nullptr, RunWrite, ReferenceMemset);
}

// Prints the runs as usual and keeps the best rate of each benchmark and length.
class BestRateReporter : public benchmark::ConsoleReporter {
 public:
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
  std::printf("\nBest of three runs, GB/s (10^9 bytes per second): kernel / reference (ratio)\n");
  std::printf("%-24s %-32s", "kernel", "reference");
  for (uint32_t l : kLengths) std::printf(" %24u B", l);
  std::printf("\n");
  for (const auto& row : rows) {
    std::printf("%-24s %-32s", row.first.c_str(), row.second.c_str());
    for (uint32_t l : kLengths) {
      const double rate = reporter.Best(row.first, l), reference = reporter.Best(row.second, l);
      std::printf("   %7.1f / %7.1f (%4.2f)", rate / 1e9, reference / 1e9, reference > 0 ? rate / reference : 0.0);
    }
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterAll(DetectIsaSupport());
  BestRateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintTable(reporter);
  benchmark::Shutdown();
  return 0;
}
