// What the survey's write call loop costs at the L1 window's middle length:
// WriteAvx and WriteSse2 on one 8 KiB block, timed through the survey's
// timing path (TimeKernelCalls, whose loop loads the kernel's registers from
// the data pattern before every call) against the same kernel called straight
// from a C++ loop, its registers loaded once by one call through the survey's
// loop before it. Both are timed with the steady clock in windows of about
// 2 ms that alternate, short enough that most of them run without another
// process taking the core; a round's ratio is reloading time over direct
// time, the best of ten windows each, and the cost is the median over the
// rounds.
// The direct loop stores zero upper halves from its second call on (the wide
// kernels end with vzeroupper); in the first-level cache that does not change
// the store rate, so the difference is the call overhead alone.
//
// usage: lorvanta_write_reload_cost [--rounds N]   (N at least 5, default 11)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "probe/isa.h"
#include "survey/kernel_table.h"
#include "survey/timing.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLength = 8 << 10;
constexpr int kWindows = 10;  // per round and side

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Reloading(const SurveyKernel& kernel, uint8_t* block, uint64_t calls) {
  const Clock::time_point start = Clock::now();
  TimeKernelCalls(kernel, nullptr, block, kLength, calls);
  return Seconds(start);
}

double Direct(const SurveyKernel& kernel, uint8_t* block, uint64_t calls) {
  TimeKernelCalls(kernel, nullptr, block, kLength, 1);  // loads the registers once
  const Clock::time_point start = Clock::now();
  for (uint64_t call = 0; call < calls; ++call) kernel.write(block, kLength);
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 11;
  if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
    char* end = nullptr;
    rounds = static_cast<int>(std::strtol(argv[2], &end, 10));
    if (*end != '\0' || rounds < 5 || rounds > 1000) rounds = 0;
  } else if (argc != 1) {
    rounds = 0;
  }
  if (rounds == 0) {
    std::fprintf(stderr, "usage: %s [--rounds N] (N from 5 to 1000)\n", argv[0]);
    return 2;
  }
  uint8_t* block = static_cast<uint8_t*>(std::aligned_alloc(4096, kLength));
  if (!block) return 1;
  std::memset(block, 0x5A, kLength);
  const uint32_t supported = SurveyIsasOf(DetectIsaSupport());
  std::printf("%u KiB block; per round reloading time / direct time, the best of %d windows each\n", kLength >> 10,
              kWindows);
  for (const char* name : {"WriteAvx", "WriteSse2"}) {
    const SurveyKernel* kernel = nullptr;
    for (uint32_t index = 0; index < surveyKernelCount; ++index)
      if (std::strcmp(surveyKernels[index].name, name) == 0) kernel = &surveyKernels[index];
    if (!kernel || !(kernel->isa & supported)) {
      std::printf("%-9s not supported here\n", name);
      continue;
    }
    uint64_t calls = 100;
    while (Direct(*kernel, block, calls) < 0.002) calls *= 2;
    std::vector<double> ratios;
    double fastest = 1e9;  // the direct loop's best window, for its rate
    for (int round = 0; round < rounds; ++round) {
      double reloading = 1e9, direct = 1e9;
      for (int window = 0; window < kWindows; ++window) {
        reloading = std::min(reloading, Reloading(*kernel, block, calls));
        direct = std::min(direct, Direct(*kernel, block, calls));
      }
      ratios.push_back(reloading / direct);
      fastest = std::min(fastest, direct);
    }
    std::printf("%-9s %llu calls a window (direct at best %.1f GB/s):", name, static_cast<unsigned long long>(calls),
                kLength * static_cast<double>(calls) / fastest / 1e9);
    for (double ratio : ratios) std::printf(" %.3f", ratio);
    std::sort(ratios.begin(), ratios.end());
    const size_t middle = ratios.size() / 2;
    const double median = ratios.size() % 2 ? ratios[middle] : (ratios[middle - 1] + ratios[middle]) / 2;
    std::printf("\n%-9s median %.3f: reloading costs %+.1f%% (goal: at most 2%%)\n", name, median, (median - 1) * 100);
  }
  return 0;
}
