// The threads of a survey: one per chosen processor (the caller is the
// first), each with buffers of its own, committed and first touched on its
// own processor. A measurement starts them together and counts every byte
// they move over the time from the first start to the last end.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "survey/timing.h"

// Starts threadCount - 1 threads and commits every member's two buffers of
// bufferBytes. With processors (at least threadCount of them) each member is
// bound to its own, the caller to the first; without, none is bound. False,
// with the reason in error, when a thread cannot be started or bound or a
// buffer committed; nothing is left running then. The first touch of the
// buffers looks at stop (when not null) every kStopLookBytes and ends the
// start, false, when it is raised.
bool StartSurveyTeam(uint32_t threadCount, const std::vector<uint32_t>* processors, uint64_t bufferBytes,
                     bool hugePages, std::string* error, const std::atomic<bool>* stop = nullptr);
// Whether the last StartSurveyTeam failed because a member could not be bound
// to its processor, where running unbound may help; false when a thread could
// not start or a buffer not be committed.
bool SurveyTeamBindingFailed();
// The aggregate rate of kernel on length bytes per member: every member calls
// it once untimed, then all measure together until one measurement lasts the
// minimum on each; 0 when none did. Every member looks at stop (when not
// null) as TimeKernelCalls does; when one saw it raised, all abandon the
// measurement together and it is 0.
uint64_t MeasureTeamRate(const SurveyKernel& kernel, uint64_t length, const TimingRule& rule,
                         const std::atomic<bool>* stop = nullptr);
// Each member's core clock in hertz (0 where it cannot be measured), measured
// by all members at once after widest (when not null) has run for 20 ms.
std::vector<uint64_t> MeasureTeamCoreClocks(const SurveyKernel* widest, uint64_t tscHz);
// Bytes of all members' buffers on huge pages.
uint64_t TeamHugePageBytes();
// The first member's (the caller's) destination buffer, for single-thread
// work between measurements such as the latency chase.
uint8_t* TeamLeaderScratchBuffer();
// Ends the threads and releases every buffer.
void StopSurveyTeam();

// All members' bytes over the span from the first start to the last end, in
// bytes per second; *long_enough tells whether that span lasted minTicks.
uint64_t AggregateRate(const TimedSpan* spans, uint32_t count, uint64_t tscHz, uint64_t minTicks, bool* longEnough);
