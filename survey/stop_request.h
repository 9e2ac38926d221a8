// The survey's stop request: a flag the caller owns and another thread (a
// window's Stop button, a signal handler) raises; every stage of the survey
// looks at it after at most about 100 ms of work and then ends, keeping
// nothing half measured. Only a single kernel call is never cut: on a block
// of hundreds of MiB it may last a few hundred ms. Once raised the flag stays
// raised until the measuring function has returned.
#pragma once
#include <atomic>

// Whether stop (which may be null: no stop is ever asked for) is raised.
inline bool StopRequested(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}
