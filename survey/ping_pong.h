// Core-to-core latency of one ordered pair of processors: two bound threads
// pass one cache line back and forth, each waiting for the other's value
// before it writes its own, so that every write must travel to the other
// core and back.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PingPongRule {
  uint32_t roundTrips;  // per sample
  uint32_t samples;     // the figure is their median
};
inline constexpr PingPongRule kPingPongRule{10000, 5};

struct PingPongResult {
  uint64_t oneWayPicoseconds = 0;           // median of the samples
  std::vector<uint64_t> samplePicoseconds;  // one way, per sample, in the order measured
  int32_t lineFirstWrittenOn = -1;          // processor the line was first written on, as the system said; -1 unknown
};

enum PingPongOutcome { PingPongMeasured, PingPongStopped, PingPongFailed };

// The calling thread binds itself to `from`, commits a page no thread has
// used and writes its line, so the line starts in from's cache and no third
// processor ever held it; then a thread bound to `to` answers. One way =
// ticks of a sample / round trips / 2, at tscHz. keepGoing (when not null)
// is asked between samples, at least every few milliseconds; false stops the
// pair (PingPongStopped). PingPongFailed, with the reason in error, when a
// thread cannot be bound or started or the page committed.
PingPongOutcome MeasurePingPong(uint32_t from, uint32_t to, const PingPongRule& rule, uint64_t tscHz,
                                bool (*keepGoing)(void*), void* context, PingPongResult* result, std::string* error);
