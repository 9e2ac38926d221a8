#include "survey/ping_pong.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <thread>

#include "platform/survey/memory.h"
#include "platform/survey/processors.h"
#include "probe/time_stamp.h"
#include "survey/chase.h"

namespace {
constexpr uint64_t kPageBytes = 4096;
constexpr uint64_t kQuit = UINT64_MAX;  // odd: the answering thread stops on it
constexpr uint32_t kWarmUpRoundTrips = 1000;

// The answering thread: waits for each odd value and writes the next even one.
void Answer(std::atomic<uint64_t>* line, uint32_t processor, std::atomic<int>* ready, std::string* error) {
  if (!BindCurrentThread(processor, error)) {
    ready->store(-1, std::memory_order_release);
    return;
  }
  ready->store(1, std::memory_order_release);
  for (;;) {
    uint64_t value;
    // No pause in the wait: it would add its own delay to every transfer.
    while (((value = line->load(std::memory_order_acquire)) & 1) == 0) {
    }
    if (value == kQuit) return;
    line->store(value + 1, std::memory_order_release);
  }
}

// roundTrips more round trips from *value (even); returns the ticks they took.
uint64_t PassBackAndForth(std::atomic<uint64_t>* line, uint64_t* value, uint32_t roundTrips) {
  const uint64_t start = ReadCounterFenced();
  for (uint32_t trip = 0; trip < roundTrips; ++trip) {
    line->store(*value + 1, std::memory_order_release);
    while (line->load(std::memory_order_acquire) != *value + 2) {
    }
    *value += 2;
  }
  return ReadCounterFenced() - start;
}

struct Pair {
  uint32_t from, to;
  PingPongRule rule;
  uint64_t tscHz;
  bool (*keepGoing)(void*);
  void* context;
  PingPongResult* result;
  std::string error;
  PingPongOutcome outcome = PingPongFailed;
};

// The pair's first thread: the line's page is committed and written here.
void MeasureFromFirst(Pair* pair) {
  if (!BindCurrentThread(pair->from, &pair->error)) return;
  void* page = CommitSurveyBuffer(kPageBytes, false);
  if (page == nullptr) {
    pair->error = "cannot commit a page for the pair's line";
    return;
  }
  auto* line = new (page) std::atomic<uint64_t>(0);
  pair->result->lineFirstWrittenOn = CurrentProcessor();
  std::atomic<int> ready{0};
  std::string answerError;
  std::thread answerer;
  try {
    answerer = std::thread(Answer, line, pair->to, &ready, &answerError);
  } catch (const std::system_error& failure) {
    pair->error = std::string("cannot start the answering thread: ") + failure.what();
    ReleaseSurveyBuffer(page, kPageBytes);
    return;
  }
  while (ready.load(std::memory_order_acquire) == 0) std::this_thread::yield();
  if (ready.load() == 1) {
    uint64_t value = 0;
    PassBackAndForth(line, &value, kWarmUpRoundTrips);
    pair->outcome = PingPongMeasured;
    for (uint32_t sample = 0; sample < pair->rule.samples; ++sample) {
      if (pair->keepGoing != nullptr && !pair->keepGoing(pair->context)) {
        pair->outcome = PingPongStopped;
        break;
      }
      const uint64_t ticks = PassBackAndForth(line, &value, pair->rule.roundTrips);
      pair->result->samplePicoseconds.push_back(
          PicosecondsPerLoad(ticks, uint64_t{2} * pair->rule.roundTrips, pair->tscHz));
    }
    line->store(kQuit, std::memory_order_release);
  }
  answerer.join();
  if (ready.load() != 1) pair->error = answerError;
  ReleaseSurveyBuffer(page, kPageBytes);
}
}  // namespace

PingPongOutcome MeasurePingPong(uint32_t from, uint32_t to, const PingPongRule& rule, uint64_t tscHz,
                                bool (*keepGoing)(void*), void* context, PingPongResult* result, std::string* error) {
  *result = PingPongResult();
  if (from == to || rule.roundTrips == 0 || rule.samples == 0 || tscHz == 0) {
    *error = "a pair needs two processors, round trips, samples and the counter's rate";
    return PingPongFailed;
  }
  Pair pair{from, to, rule, tscHz, keepGoing, context, result};
  try {
    std::thread(MeasureFromFirst, &pair).join();
  } catch (const std::system_error& failure) {
    *error = std::string("cannot start the pair's first thread: ") + failure.what();
    return PingPongFailed;
  }
  if (pair.outcome == PingPongFailed) {
    *error = pair.error;
    return PingPongFailed;
  }
  if (pair.outcome == PingPongMeasured) {
    std::vector<uint64_t> sorted = result->samplePicoseconds;
    std::sort(sorted.begin(), sorted.end());
    result->oneWayPicoseconds = sorted[sorted.size() / 2];
  }
  return pair.outcome;
}
