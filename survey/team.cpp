#include "survey/team.h"

#include <atomic>
#include <string>
#include <system_error>
#include <thread>

#include "display/exact_arithmetic.h"
#include "platform/survey/memory.h"
#include "platform/survey/processors.h"
#include "probe/core_clock.h"
#include "survey/stop_request.h"

namespace {
// A reusable barrier for the members: the last to arrive opens the next phase.
struct SpinBarrier {
  std::atomic<uint32_t> waiting{0};
  std::atomic<uint32_t> phase{0};
  uint32_t count = 1;
};

// Counts one arrival; true when it was the last, which opens the next phase.
bool ArriveAtBarrier(SpinBarrier& barrier) {
  if (barrier.waiting.fetch_add(1, std::memory_order_acq_rel) + 1 != barrier.count) return false;
  barrier.waiting.store(0, std::memory_order_relaxed);
  barrier.phase.fetch_add(1, std::memory_order_release);
  return true;
}

void WaitAtBarrier(SpinBarrier& barrier) {
  const uint32_t phase = barrier.phase.load(std::memory_order_acquire);
  if (ArriveAtBarrier(barrier)) return;
  for (uint32_t spins = 0; barrier.phase.load(std::memory_order_acquire) == phase; ++spins)
    if (spins > 1000) std::this_thread::yield();
}

struct Member {
  uint8_t* source = nullptr;
  uint8_t* destination = nullptr;
  TimedSpan span{0, 0, 0};
  uint64_t coreHz = 0;
  std::string error;
  bool bindingFailed = false;  // error says the member could not be bound
  std::thread thread;
};

// The job every member runs; written by the first member before the barrier
// that releases the others.
struct TeamJob {
  const SurveyKernel* kernel = nullptr;
  uint64_t length = 0;
  TimingRule rule{0, 0};
  const std::atomic<bool>* stop = nullptr;
  bool clocks = false;  // measure the core clocks instead of a rate
  bool quit = false;
};

struct Team {
  std::vector<Member> members;
  SpinBarrier barrier;
  TeamJob job;
  uint64_t bufferBytes = 0;
  bool hugePages = false;
  const std::vector<uint32_t>* processors = nullptr;
  const std::atomic<bool>* stop = nullptr;  // looked at while the buffers are first touched
  bool bindingFailed = false;  // the last start failed on binding
};
Team team;

// Fills a mapped buffer with the data pattern, its first touch, in pieces
// with a look at the stop request before each: a GiB takes a second or so.
bool FillUnlessStopped(uint8_t* buffer, uint64_t byteCount) {
  for (uint64_t offset = 0; offset < byteCount; offset += kStopLookBytes) {
    if (StopRequested(team.stop)) return false;
    FillWithSurveyDataPattern(buffer + offset, byteCount - offset < kStopLookBytes ? byteCount - offset : kStopLookBytes);
  }
  return true;
}

bool PrepareMember(uint32_t index) {
  Member& member = team.members[index];
  if (team.processors != nullptr && !BindCurrentThread((*team.processors)[index], &member.error)) {
    member.bindingFailed = true;
    return false;
  }
  member.source = static_cast<uint8_t*>(MapSurveyBuffer(team.bufferBytes, team.hugePages));
  member.destination = static_cast<uint8_t*>(MapSurveyBuffer(team.bufferBytes, team.hugePages));
  if (member.source == nullptr || member.destination == nullptr)
    member.error = "cannot commit the survey buffers";
  else if (!FillUnlessStopped(member.source, team.bufferBytes) || !FillUnlessStopped(member.destination, team.bufferBytes))
    member.error = "stopped while the survey buffers were first touched";
  return member.error.empty();
}

// The measurement as one member runs it; every member takes the same
// decisions from the same shared spans, so all pass the same barriers.
uint64_t RunMemberJob(uint32_t index) {
  Member& member = team.members[index];
  // A copy: the first member posts the next job while the others may still
  // be leaving this one.
  const TeamJob job = team.job;
  const TimedSpan untimed = TimeKernelCalls(*job.kernel, member.source, member.destination, job.length, 1, job.stop);
  uint64_t calls = CallsForMinimum(1, untimed.end - untimed.start, job.rule.minTicks);
  uint64_t best = 0;
  const uint32_t count = static_cast<uint32_t>(team.members.size());
  std::vector<TimedSpan> spans(count);
  // Until one measurement lasts the minimum on every member: the call count
  // grows after each short one; nine rounds at most. A stop seen by any
  // member, in the spans all of them read, ends the rounds for all alike.
  bool measured = false, stopped = false;
  for (uint32_t round = 0; !measured && !stopped && round < 9; ++round) {
    WaitAtBarrier(team.barrier);
    member.span = TimeKernelCalls(*job.kernel, member.source, member.destination, job.length, calls, job.stop);
    WaitAtBarrier(team.barrier);
    for (uint32_t i = 0; i < count; ++i) spans[i] = team.members[i].span, stopped = stopped || spans[i].stopped;
    bool longEnough = false;
    const uint64_t rate = AggregateRate(spans.data(), count, job.rule.tscHz, job.rule.minTicks, &longEnough);
    if (longEnough && !stopped) measured = true, best = rate;
    calls = CallsForMinimum(calls, member.span.end - member.span.start, job.rule.minTicks);
    // Nobody may overwrite a span before every member has read them all.
    WaitAtBarrier(team.barrier);
  }
  return best;
}

// Every member's core clock, measured by all at once, after the job's kernel
// (when there is one) has run for the rule's minimum on a block in the first
// cache: a core that lowers its clock for wide instructions has done so then.
void RunMemberClock(uint32_t index) {
  Member& member = team.members[index];
  const TeamJob job = team.job;
  for (uint64_t calls = 1, round = 0; job.kernel != nullptr && round < 12; ++round) {
    const TimedSpan span = TimeKernelCalls(*job.kernel, member.source, member.destination, job.length, calls);
    if (span.end - span.start >= job.rule.minTicks) break;
    calls = CallsForMinimum(calls, span.end - span.start, job.rule.minTicks);
  }
  WaitAtBarrier(team.barrier);  // the chains start together
  member.coreHz = MeasureCoreClockHz();
  WaitAtBarrier(team.barrier);
}

// Read by every member after the barrier that follows the preparation, so
// that all of them agree on whether the team runs.
bool AnyMemberFailed() {
  for (const Member& member : team.members)
    if (!member.error.empty()) return true;
  return false;
}

void WorkerMain(uint32_t index) {
  PrepareMember(index);
  WaitAtBarrier(team.barrier);  // prepared
  if (AnyMemberFailed()) return;
  for (;;) {
    WaitAtBarrier(team.barrier);  // a job or the end
    if (team.job.quit) return;
    if (team.job.clocks)
      RunMemberClock(index);
    else
      RunMemberJob(index);
  }
}

// Starts the members after the first. When a thread cannot start, that
// member's error says so and the caller arrives at the preparation barrier
// for it and for every member after it, so that the members already running
// pass that barrier, see the failure and end.
bool StartMemberThreads(uint32_t threadCount) {
  for (uint32_t index = 1; index < threadCount; ++index) {
    try {
      team.members[index].thread = std::thread(WorkerMain, index);
    } catch (const std::system_error& failure) {
      team.members[index].error = "cannot start thread " + std::to_string(index + 1) + " of " +
                                  std::to_string(threadCount) + ": " + failure.code().message();
      for (uint32_t never = index; never < threadCount; ++never) ArriveAtBarrier(team.barrier);
      return false;
    }
  }
  return true;
}

void ReleaseBuffers() {
  for (Member& member : team.members) {
    ReleaseSurveyBuffer(member.source, team.bufferBytes);
    ReleaseSurveyBuffer(member.destination, team.bufferBytes);
    member.source = member.destination = nullptr;
  }
}
}  // namespace

uint64_t AggregateRate(const TimedSpan* spans, uint32_t count, uint64_t tscHz, uint64_t minTicks, bool* longEnough) {
  uint64_t bytes = 0, first = UINT64_MAX, last = 0;
  bool eachLongEnough = true;
  for (uint32_t i = 0; i < count; ++i) {
    bytes += spans[i].bytes;
    if (spans[i].start < first) first = spans[i].start;
    if (spans[i].end > last) last = spans[i].end;
    if (spans[i].end - spans[i].start < minTicks) eachLongEnough = false;
  }
  *longEnough = count > 0 && eachLongEnough;
  if (count == 0 || last <= first) return 0;
  return MulDivWide(bytes, tscHz, last - first);
}

bool StartSurveyTeam(uint32_t threadCount, const std::vector<uint32_t>* processors, uint64_t bufferBytes,
                     bool hugePages, std::string* error, const std::atomic<bool>* stop) {
  team.members = std::vector<Member>(threadCount);
  team.barrier.count = threadCount;
  team.job = TeamJob();
  team.bufferBytes = bufferBytes;
  team.hugePages = hugePages;
  team.processors = processors;
  team.stop = stop;
  team.bindingFailed = false;
  if (StartMemberThreads(threadCount)) PrepareMember(0);
  WaitAtBarrier(team.barrier);  // every member prepared
  if (!AnyMemberFailed()) return true;
  bool reported = false;
  for (Member& member : team.members) {
    if (!reported && !member.error.empty()) {
      *error = member.error;
      team.bindingFailed = member.bindingFailed;
      reported = true;
    }
    if (member.thread.joinable()) member.thread.join();
  }
  ReleaseBuffers();
  team.members.clear();
  return false;
}

bool SurveyTeamBindingFailed() { return team.bindingFailed; }

uint64_t MeasureTeamRate(const SurveyKernel& kernel, uint64_t length, const TimingRule& rule,
                         const std::atomic<bool>* stop) {
  team.job.kernel = &kernel;
  team.job.length = length;
  team.job.rule = rule;
  team.job.stop = stop;
  team.job.clocks = false;
  WaitAtBarrier(team.barrier);
  return RunMemberJob(0);
}

std::vector<uint64_t> MeasureTeamCoreClocks(const SurveyKernel* widest, uint64_t tscHz) {
  team.job.kernel = widest;
  team.job.length = 8192;
  team.job.rule = TimingRule{tscHz / 50, tscHz};  // 20 ms
  team.job.clocks = true;
  WaitAtBarrier(team.barrier);
  RunMemberClock(0);
  std::vector<uint64_t> clocks;
  for (const Member& member : team.members) clocks.push_back(member.coreHz);
  return clocks;
}

uint8_t* TeamLeaderScratchBuffer() { return team.members.empty() ? nullptr : team.members[0].destination; }

uint64_t TeamHugePageBytes() {
  uint64_t bytes = 0;
  for (const Member& member : team.members)
    bytes += HugePageBytes(member.source, team.bufferBytes) + HugePageBytes(member.destination, team.bufferBytes);
  return bytes;
}

void StopSurveyTeam() {
  if (team.members.empty()) return;
  team.job.quit = true;
  WaitAtBarrier(team.barrier);
  for (Member& member : team.members)
    if (member.thread.joinable()) member.thread.join();
  ReleaseBuffers();
  team.members.clear();
}
