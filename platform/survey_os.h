// What the survey needs from the operating system beyond the exact sweep's
// seam: large buffers with memory of their own (optionally on transparent
// huge pages), how many huge pages were granted, how much memory is free, and
// the transparent huge pages mode.
#pragma once
#include <cstdint>
#include <string>

// Commits byteCount bytes of read-write memory, aligned to 2 MiB, and fills it
// with the byte 0x5A: every page has memory of its own (no shared zero page)
// on the node of the calling thread, and no line is all zeros, which some
// machines move faster than other data. With askHugePages the system is asked
// for transparent huge pages before the first write. Null on failure.
void* CommitSurveyBuffer(uint64_t byteCount, bool askHugePages);
void ReleaseSurveyBuffer(void* buffer, uint64_t byteCount);
// Bytes of the buffer that lie on huge pages; 0 where the system does not say.
uint64_t HugePageBytes(const void* buffer, uint64_t byteCount);
// Memory the system can hand out without swapping, in bytes, or less where the
// process's cgroups allow less; 0 when unknown or a cgroup's limit is reached.
uint64_t AvailableMemoryBytes();
// The system's transparent huge pages mode ("always", "madvise", "never");
// "" where unknown or the system has none.
std::string TransparentHugePageMode();
