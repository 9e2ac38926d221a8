// The survey's memory from the operating system, beside the exact sweep's
// seam (platform/os.h): large buffers with memory of their own (optionally on transparent
// huge pages), how many huge pages were granted, how much memory is free, and
// the transparent huge pages mode.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

// The 64 bytes the survey's buffers are filled with and its write kernels'
// registers are loaded from: 64 different values, none of them zero. Some
// processors move lines that are all or mostly zero to memory at twice the
// rate of other data; varied bytes leave no such shortcut to any processor.
struct SurveyDataPattern {
  alignas(64) uint8_t bytes[64];
};
constexpr SurveyDataPattern MakeSurveyDataPattern() {
  SurveyDataPattern pattern{};
  // 53 is odd, so the 64 values differ; 0x81 + 53 k is 0 (mod 256) only for k = 99.
  for (uint32_t k = 0; k < 64; ++k) pattern.bytes[k] = static_cast<uint8_t>(0x81 + 53 * k);
  return pattern;
}
inline constexpr SurveyDataPattern kSurveyDataPattern = MakeSurveyDataPattern();

// Writes the pattern over byteCount bytes, from the pattern's first byte at buffer.
inline void FillWithSurveyDataPattern(uint8_t* buffer, uint64_t byteCount) {
  for (uint64_t offset = 0; offset < byteCount; offset += 64)
    std::memcpy(buffer + offset, kSurveyDataPattern.bytes, byteCount - offset < 64 ? byteCount - offset : 64);
}

// Maps byteCount bytes of read-write memory, aligned to 2 MiB, not yet
// touched; with askHugePages the system is asked for transparent huge pages.
// Null on failure. Release it with ReleaseSurveyBuffer.
void* MapSurveyBuffer(uint64_t byteCount, bool askHugePages);

// A mapped buffer filled with kSurveyDataPattern: every page has memory of
// its own (no shared zero page) on the node of the calling thread, and every
// line holds ordinary data. Null on failure.
inline void* CommitSurveyBuffer(uint64_t byteCount, bool askHugePages) {
  uint8_t* buffer = static_cast<uint8_t*>(MapSurveyBuffer(byteCount, askHugePages));
  if (buffer != nullptr) FillWithSurveyDataPattern(buffer, byteCount);
  return buffer;
}
void ReleaseSurveyBuffer(void* buffer, uint64_t byteCount);
// Bytes of the buffer that lie on huge pages; 0 where the system does not say.
uint64_t HugePageBytes(const void* buffer, uint64_t byteCount);
// Memory the system can hand out without swapping, in bytes, or less where the
// process's cgroups allow less; 0 when unknown or a cgroup's limit is reached.
uint64_t AvailableMemoryBytes();
// The system's transparent huge pages mode ("always", "madvise", "never");
// "" where unknown or the system has none.
std::string TransparentHugePageMode();
