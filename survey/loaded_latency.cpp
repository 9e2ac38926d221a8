#include "survey/loaded_latency.h"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/survey/memory.h"
#include "platform/survey/processors.h"
#include "probe/core_clock.h"
#include "probe/delay_chain.h"
#include "probe/time_stamp.h"
#include "survey/chase.h"
#include "survey/team.h"
#include "survey/timing.h"

namespace {
constexpr uint64_t kBlockBytes = 4096;  // a loader waits its delay after every block it moves
constexpr uint64_t kUndelayedBlocks = 256;  // blocks per kernel call without a delay
constexpr uint64_t kChaseBatch = 256;   // loads between the chaser's looks at the clock
constexpr uint64_t kChaseSeed = 0x2545F4914F6CDD1Du;
constexpr uint32_t kChaser = 0;  // the chaser's index; the first loader is next
constexpr uint32_t kFirstLoader = 1;
const std::chrono::milliseconds kWaitStep(10);
const std::chrono::milliseconds kIdleStep(1);  // how often members between points look for the next
constexpr uint32_t kWaitStepsPerProgress = 5;  // the progress call every 50 ms

uint32_t RegisterBytes(const SurveyKernel& kernel) { return kRegisterFiles[kernel.registers].bytes; }

struct Member {
  uint32_t processor = 0;
  uint8_t* buffer = nullptr;
  TimedSpan span{0, 0, 0};  // a loader's bytes, or the chaser's loads, and when it ran
  std::string error;
  std::thread thread;
};

// The threads of one measurement and the point they run. The caller posts a
// point by raising the generation; the members start together at `started`,
// the chaser raises `stop` when it has run the minimum, every member counts
// itself `finished`.
struct Crew {
  const LoadedLatencySetup* setup = nullptr;
  std::vector<Member> members;
  std::atomic<uint32_t> prepared{0};
  std::atomic<uint32_t> generation{0};
  std::atomic<uint32_t> started{0};
  std::atomic<uint32_t> finished{0};
  alignas(64) std::atomic<bool> stop{false};  // read by the loaders after every block: a line of its own
  alignas(64) LoadedTraffic traffic = TrafficRead;
  bool idle = false;  // the loaders rest while the chaser runs alone
  uint32_t rounds = 0;
  bool quit = false;
  uint64_t coreHz = 0;                 // the first loader's, measured once
  uint64_t delayCyclesHundredths = 0;  // the point's delay, measured by the first loader
  const void* chasePosition = nullptr;
};

bool Prepare(Crew& crew, uint32_t index) {
  Member& member = crew.members[index];
  const LoadedLatencySetup& setup = *crew.setup;
  if (!BindCurrentThread(member.processor, &member.error)) return false;
  member.buffer = static_cast<uint8_t*>(CommitSurveyBuffer(setup.bufferBytes, setup.hugePages));
  if (member.buffer == nullptr) {
    member.error = "cannot commit a buffer of " + std::to_string(setup.bufferBytes) + " bytes";
    return false;
  }
  if (index == kChaser) {
    BuildChaseCycle(member.buffer, setup.bufferBytes / setup.lineSize, setup.lineSize, kChaseSeed);
    crew.chasePosition = member.buffer;
  }
  if (index == kFirstLoader) crew.coreHz = MeasureCoreClockHz();
  return true;
}

// The chaser: batches of dependent loads until the minimum has passed (or the
// caller stopped the point), then the stop for everyone.
void Chase(Crew& crew, Member& member) {
  const void* position = crew.chasePosition;
  uint64_t loads = 0, now = 0;
  const uint64_t start = ReadCounterFenced();
  do {
    position = ChaseLoads(position, kChaseBatch);
    loads += kChaseBatch;
    now = ReadCounterFenced();
  } while (now - start < crew.setup->minTicks && !crew.stop.load(std::memory_order_relaxed));
  crew.stop.store(true, std::memory_order_relaxed);
  crew.chasePosition = position;
  member.span = TimedSpan{loads, start, now};
}

// A loader at an idle point: asleep until the chaser is done, so that it
// takes neither memory bandwidth nor the processor's shared resources.
void Rest(Crew& crew, Member& member) {
  const uint64_t start = ReadCounterFenced();
  while (!crew.stop.load(std::memory_order_relaxed)) std::this_thread::sleep_for(kIdleStep);
  member.span = TimedSpan{0, start, ReadCounterFenced()};
}

// A loader: blocks of 4 KiB walked through its buffer, the delay after each.
// Without a delay the blocks follow each other back to back, so a call moves
// kUndelayedBlocks of them (1 MiB) at once: the non-temporal kernels end with a
// store fence, which after every 4 KiB would drain the write-combining
// buffers and halve the rate of traffic that asked for no pause at all.
// Copy reads the first half and writes the second.
void Load(Crew& crew, Member& member) {
  const LoadedLatencySetup& setup = *crew.setup;
  const uint32_t rounds = crew.rounds;
  const uint64_t stride = rounds == 0 ? kUndelayedBlocks * kBlockBytes : kBlockBytes;
  const uint64_t walked = crew.traffic == TrafficCopy ? setup.bufferBytes / 2 : setup.bufferBytes;
  const uint64_t end = walked - walked % stride;
  uint8_t* const buffer = member.buffer;
  uint64_t bytes = 0, offset = 0, call = 0;
  const uint64_t start = ReadCounterFenced();
  while (!crew.stop.load(std::memory_order_relaxed)) {
    const SurveyKernel& kernel = *LoadedBlockKernel(crew.traffic, call, setup.kernels);
    uint8_t* const here = buffer + offset;
    switch (kernel.group) {
      case GroupRead: bytes += CallKernelOnBlock(kernel, here, nullptr, stride); break;
      case GroupWrite: bytes += CallKernelOnBlock(kernel, nullptr, here, stride); break;
      case GroupCopy: bytes += CallKernelOnBlock(kernel, here, here + end, stride); break;
    }
    if (rounds != 0) RunDelayChain(rounds);
    ++call;
    offset += stride;
    if (offset >= end) offset = 0;
  }
  member.span = TimedSpan{bytes, start, ReadCounterFenced()};
}

void RunMember(Crew* crew, uint32_t index) {
  const uint32_t count = static_cast<uint32_t>(crew->members.size());
  const bool ready = Prepare(*crew, index);
  crew->prepared.fetch_add(1, std::memory_order_acq_rel);
  if (!ready) return;
  for (uint32_t seen = 0;;) {
    while (crew->generation.load(std::memory_order_acquire) == seen) std::this_thread::sleep_for(kIdleStep);
    ++seen;
    if (crew->quit) return;
    if (index == kFirstLoader && !crew->idle)
      crew->delayCyclesHundredths = MeasureDelayCyclesHundredths(crew->rounds, crew->setup->tscHz);
    // Everyone starts together, after the delay's measurement.
    crew->started.fetch_add(1, std::memory_order_acq_rel);
    while (crew->started.load(std::memory_order_acquire) != count) {
    }
    if (index == kChaser)
      Chase(*crew, crew->members[index]);
    else if (crew->idle)
      Rest(*crew, crew->members[index]);
    else
      Load(*crew, crew->members[index]);
    crew->finished.fetch_add(1, std::memory_order_acq_rel);
  }
}

// Tells the members to end, waits for them and releases the buffers.
void Disband(Crew& crew) {
  crew.quit = true;
  crew.generation.fetch_add(1, std::memory_order_release);
  for (Member& member : crew.members) {
    if (member.thread.joinable()) member.thread.join();
    if (member.buffer != nullptr) ReleaseSurveyBuffer(member.buffer, crew.setup->bufferBytes);
    member.buffer = nullptr;
  }
}

bool ProgressSaysGoOn(LoadedLatencyProgressFunction onProgress, void* context, const LoadedLatencyProgress& where) {
  return onProgress == nullptr || onProgress(where, context);
}

// Starts one member per processor and waits until all are prepared, asking
// the progress call every 50 ms meanwhile (committing and first touching
// large buffers and building the chase take a while). LoadedFailed, with the
// first reason in error, when a member is not prepared, LoadedStopped when
// the progress call says so; nothing is left running then.
LoadedLatencyOutcome Assemble(Crew& crew, const LoadedLatencySetup& setup, LoadedTraffic traffic,
                              LoadedLatencyProgressFunction onProgress, void* context, std::string* error) {
  const uint32_t count = static_cast<uint32_t>(setup.processors.size());
  if (count < 2) {
    *error = "loaded latency needs two processors; this run has " + std::to_string(count);
    return LoadedFailed;
  }
  const bool reads = traffic == TrafficRead || traffic == TrafficMix;
  const bool writes = traffic == TrafficWrite || traffic == TrafficMix;
  if ((reads && setup.kernels.read == nullptr) || (writes && setup.kernels.write == nullptr) ||
      (traffic == TrafficCopy && setup.kernels.copy == nullptr)) {
    *error = "the processor supports no kernel for this traffic";
    return LoadedFailed;
  }
  if (setup.lineSize < sizeof(void*) || setup.bufferBytes / setup.lineSize < 1 || setup.bufferBytes < 2 * kUndelayedBlocks * kBlockBytes ||
      setup.tscHz == 0) {
    *error = "the buffers must hold 2 MiB and a line, and the counter's rate must be known";
    return LoadedFailed;
  }
  crew.setup = &setup;
  crew.members = std::vector<Member>(count);
  for (uint32_t index = 0; index < count; ++index) crew.members[index].processor = setup.processors[index];
  uint32_t launched = 0;
  for (; launched < count; ++launched) {
    try {
      crew.members[launched].thread = std::thread(RunMember, &crew, launched);
    } catch (const std::system_error& failure) {
      crew.members[launched].error = std::string("cannot start a thread: ") + failure.what();
      break;
    }
  }
  bool stopped = false;
  const LoadedLatencyProgress where{traffic, 0, 0, false};
  for (uint32_t steps = 1; crew.prepared.load(std::memory_order_acquire) != launched; ++steps) {
    std::this_thread::sleep_for(kWaitStep);
    if (!stopped && steps % kWaitStepsPerProgress == 0) stopped = !ProgressSaysGoOn(onProgress, context, where);
  }
  for (const Member& member : crew.members) {
    if (member.error.empty()) continue;
    *error = "processor " + std::to_string(member.processor) + ": " + member.error;
    Disband(crew);
    return LoadedFailed;
  }
  if (stopped) {
    Disband(crew);
    return LoadedStopped;
  }
  return LoadedMeasured;
}

// Runs one point on an assembled crew, the loaders resting when idle; false
// when the progress call stopped it.
bool RunPoint(Crew& crew, LoadedTraffic traffic, uint32_t delayCycles, bool idle,
              LoadedLatencyProgressFunction onProgress, void* context, LoadedLatencyProgress where,
              LoadedLatencyPoint* point) {
  const uint32_t count = static_cast<uint32_t>(crew.members.size());
  crew.traffic = traffic;
  crew.idle = idle;
  crew.rounds = DelayRounds(delayCycles);
  crew.started.store(0, std::memory_order_relaxed);
  crew.finished.store(0, std::memory_order_relaxed);
  crew.stop.store(false, std::memory_order_relaxed);
  crew.generation.fetch_add(1, std::memory_order_release);
  bool goOn = true;
  for (uint32_t steps = 1; crew.finished.load(std::memory_order_acquire) != count; ++steps) {
    std::this_thread::sleep_for(kWaitStep);
    if (goOn && steps % kWaitStepsPerProgress == 0 && !ProgressSaysGoOn(onProgress, context, where)) {
      goOn = false;
      crew.stop.store(true, std::memory_order_relaxed);
    }
  }
  if (!goOn) return false;
  std::vector<TimedSpan> loaders;
  for (uint32_t index = kFirstLoader; index < count; ++index) loaders.push_back(crew.members[index].span);
  bool longEnough = false;
  const TimedSpan& chase = crew.members[kChaser].span;
  point->delayCycles = delayCycles;
  point->delayCyclesHundredths = idle ? 0 : crew.delayCyclesHundredths;
  point->bytesPerSecond = AggregateRate(loaders.data(), count - 1, crew.setup->tscHz, 0, &longEnough);
  point->latencyPicoseconds = PicosecondsPerLoad(chase.end - chase.start, chase.bytes, crew.setup->tscHz);
  return true;
}

void DescribeCurve(const Crew& crew, LoadedTraffic traffic, LoadedLatencyCurve* curve) {
  curve->traffic = traffic;
  curve->coreHz = crew.coreHz;
  curve->bufferBytes = crew.setup->bufferBytes;
  curve->threads = static_cast<uint32_t>(crew.members.size());
  curve->hugePageBytes = 0;
  for (const Member& member : crew.members) curve->hugePageBytes += HugePageBytes(member.buffer, curve->bufferBytes);
}
}  // namespace

LoadedKernels ChooseLoadedKernels(uint32_t supportedIsas) {
  LoadedKernels chosen{nullptr, nullptr, nullptr};
  for (uint32_t i = 0; i < surveyKernelCount; ++i) {
    const SurveyKernel& kernel = surveyKernels[i];
    if ((kernel.isa & supportedIsas) == 0 || RegisterBytes(kernel) == 0) continue;  // the string routines have no width
    if (kernel.group == GroupRead && kernel.prefetch.kind == PrefetchNone &&
        (chosen.read == nullptr || RegisterBytes(kernel) > RegisterBytes(*chosen.read)))
      chosen.read = &kernel;
    if (kernel.group == GroupWrite && kernel.store == StoreNonTemporal &&
        (chosen.write == nullptr || RegisterBytes(kernel) > RegisterBytes(*chosen.write)))
      chosen.write = &kernel;
    if (kernel.group == GroupCopy &&
        (chosen.copy == nullptr || RegisterBytes(kernel) > RegisterBytes(*chosen.copy) ||
         (RegisterBytes(kernel) == RegisterBytes(*chosen.copy) && kernel.store == StoreNonTemporal)))
      chosen.copy = &kernel;
  }
  return chosen;
}

const SurveyKernel* LoadedBlockKernel(LoadedTraffic traffic, uint64_t block, const LoadedKernels& kernels) {
  switch (traffic) {
    case TrafficRead: return kernels.read;
    case TrafficWrite: return kernels.write;
    case TrafficCopy: return kernels.copy;
    case TrafficMix: return block % 3 == 2 ? kernels.write : kernels.read;
  }
  return nullptr;
}

uint32_t NextLoadedDelay(uint32_t delayCycles) { return delayCycles == 0 ? delayAdditionsPerRound : delayCycles * 2; }

bool LoadedCurveEnds(const std::vector<uint64_t>& bytesPerSecond) {
  if (bytesPerSecond.empty()) return false;
  uint64_t highest = 0;
  for (uint64_t rate : bytesPerSecond)
    if (rate > highest) highest = rate;
  // last < 5% of highest, as last * 20 < highest without rounding; a last
  // rate too large to multiply is above any highest.
  const uint64_t last = bytesPerSecond.back();
  return last <= UINT64_MAX / 20 && last * 20 < highest;
}

LoadedLatencyOutcome MeasureLoadedLatencyPoint(const LoadedLatencySetup& setup, LoadedTraffic traffic,
                                               uint32_t delayCycles, LoadedLatencyProgressFunction onProgress,
                                               void* context, LoadedLatencyCurve* curve, std::string* error) {
  *curve = LoadedLatencyCurve();
  Crew crew;
  const LoadedLatencyOutcome assembled = Assemble(crew, setup, traffic, onProgress, context, error);
  if (assembled != LoadedMeasured) return assembled;
  DescribeCurve(crew, traffic, curve);
  LoadedLatencyPoint point{};
  const LoadedLatencyProgress where{traffic, delayCycles, 0, false};
  const bool measured = ProgressSaysGoOn(onProgress, context, where) &&
                        RunPoint(crew, traffic, delayCycles, false, onProgress, context, where, &point);
  Disband(crew);
  if (!measured) return LoadedStopped;
  curve->points.push_back(point);
  return LoadedMeasured;
}

LoadedLatencyOutcome MeasureLoadedLatencyCurve(const LoadedLatencySetup& setup, LoadedTraffic traffic,
                                               LoadedLatencyProgressFunction onProgress, void* context,
                                               LoadedLatencyCurve* curve, std::string* error) {
  *curve = LoadedLatencyCurve();
  Crew crew;
  const LoadedLatencyOutcome assembled = Assemble(crew, setup, traffic, onProgress, context, error);
  if (assembled != LoadedMeasured) return assembled;
  DescribeCurve(crew, traffic, curve);
  LoadedLatencyPoint idle{};
  const LoadedLatencyProgress alone{traffic, 0, 0, true};
  if (!ProgressSaysGoOn(onProgress, context, alone) ||
      !RunPoint(crew, traffic, 0, true, onProgress, context, alone, &idle)) {
    Disband(crew);
    return LoadedStopped;
  }
  curve->idleLatencyPicoseconds = idle.latencyPicoseconds;
  std::vector<uint64_t> rates;
  LoadedLatencyOutcome outcome = LoadedMeasured;
  const bool listed = !setup.delays.empty();
  for (size_t step = 0;; ++step) {
    const uint32_t delay = listed ? setup.delays[step] : step == 0 ? 0 : NextLoadedDelay(curve->points.back().delayCycles);
    const LoadedLatencyProgress where{traffic, delay, static_cast<uint32_t>(curve->points.size()), false};
    LoadedLatencyPoint point{};
    if (!ProgressSaysGoOn(onProgress, context, where) ||
        !RunPoint(crew, traffic, delay, false, onProgress, context, where, &point)) {
      outcome = LoadedStopped;
      break;
    }
    curve->points.push_back(point);
    rates.push_back(point.bytesPerSecond);
    if (listed ? step + 1 == setup.delays.size()
               : LoadedCurveEnds(rates) || delay > UINT32_MAX / 2 || NextLoadedDelay(delay) > setup.maxDelayCycles)
      break;
  }
  Disband(crew);
  return outcome;
}
