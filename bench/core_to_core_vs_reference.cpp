// The core-to-core ping-pong against an independent one: its own threads
// bound with sched_setaffinity, its own line from operator new, a turn flag
// instead of a counter and the steady clock instead of the time-stamp
// counter. Both directions of the first two processors, A B A B in rounds;
// prints each round's one-way latencies and the median ratio.
//   lorvanta_core_to_core_vs_reference [--rounds N]
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/survey/processors.h"
#include "probe/clock.h"
#include "survey/ping_pong.h"

namespace {
struct alignas(128) TurnLine {
  std::atomic<uint32_t> turn{0};
};
// The answering thread's stop flag, on a line of its own: on the first
// thread's stack it could share a line with what that thread writes, and
// every check would then cost a transfer.
struct alignas(128) QuitLine {
  std::atomic<bool> quit{false};
};

void PinTo(uint32_t processor) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(processor, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// One way in nanoseconds: the median of 7 samples of 100,000 round trips,
// the line allocated and first written on `from`.
double ReferenceOneWayNanoseconds(uint32_t from, uint32_t to) {
  constexpr uint32_t kTrips = 100000, kSamples = 7;
  std::vector<double> samples;
  std::thread first([&] {
    PinTo(from);
    auto* line = new TurnLine;
    auto* stop = new QuitLine;
    std::thread second([line, stop, to] {  // copies: nothing read from the first thread's stack
      PinTo(to);
      while (!stop->quit.load(std::memory_order_relaxed)) {
        if (line->turn.load(std::memory_order_acquire) == 1) line->turn.store(0, std::memory_order_release);
      }
    });
    for (uint32_t sample = 0; sample <= kSamples; ++sample) {
      const auto start = std::chrono::steady_clock::now();
      for (uint32_t trip = 0; trip < kTrips; ++trip) {
        line->turn.store(1, std::memory_order_release);
        while (line->turn.load(std::memory_order_acquire) != 0) {
        }
      }
      const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
      if (sample > 0) samples.push_back(took.count() / kTrips / 2);  // the first warms up
    }
    stop->quit = true;
    second.join();
    delete line;
    delete stop;
  });
  first.join();
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double OursOneWayNanoseconds(uint32_t from, uint32_t to, uint64_t tscHz) {
  PingPongResult result;
  std::string error;
  if (MeasurePingPong(from, to, kPingPongRule, tscHz, nullptr, nullptr, &result, &error) != PingPongMeasured) {
    std::fprintf(stderr, "ping-pong %u->%u failed: %s\n", from, to, error.c_str());
    return 0;
  }
  return static_cast<double>(result.oneWayPicoseconds) / 1000;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
  uint32_t rounds = 5;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = static_cast<uint32_t>(std::stoul(argv[i + 1]));
  MachineLayout layout;
  std::string error;
  if (!ReadMachineLayout(&layout, &error) || layout.processors.size() < 2) {
    std::fprintf(stderr, "needs two processors\n");
    return 2;
  }
  const uint32_t a = layout.processors[0].osNumber, b = layout.processors[1].osNumber;
  const uint64_t tscHz = MeasureClockFrequency();
  std::printf("round  ours %u->%u  ref %u->%u  ours %u->%u  ref %u->%u   (one way, ns)\n", a, b, a, b, b, a, b, a);
  std::vector<double> ratios[2], ours[2], references[2];
  for (uint32_t round = 0; round < rounds; ++round) {
    double row[4];
    for (int direction = 0; direction < 2; ++direction) {
      const uint32_t from = direction == 0 ? a : b, to = direction == 0 ? b : a;
      row[2 * direction] = OursOneWayNanoseconds(from, to, tscHz);
      row[2 * direction + 1] = ReferenceOneWayNanoseconds(from, to);
      ours[direction].push_back(row[2 * direction]);
      references[direction].push_back(row[2 * direction + 1]);
      ratios[direction].push_back(row[2 * direction] / row[2 * direction + 1]);
    }
    std::printf("%5u  %10.1f  %9.1f  %10.1f  %9.1f\n", round + 1, row[0], row[1], row[2], row[3]);
  }
  for (int direction = 0; direction < 2; ++direction)
    std::printf("%u->%u: ours %.1f ns, reference %.1f ns, median ratio ours/reference %.3f\n",
                direction == 0 ? a : b, direction == 0 ? b : a, Median(ours[direction]), Median(references[direction]),
                Median(ratios[direction]));
  std::printf("ours %u->%u / %u->%u: %.3f\n", a, b, b, a, Median(ours[0]) / Median(ours[1]));
  return 0;
}
