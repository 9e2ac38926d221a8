// Linux binding of the survey's buffers: anonymous mappings aligned to the
// 2 MiB huge-page size, madvise(MADV_HUGEPAGE) on request, huge-page counts
// from /proc/self/smaps, free memory from /proc/meminfo within the limits of
// the process's cgroups, the transparent huge pages mode from sysfs.
#include "platform/survey/memory.h"

#include <sys/mman.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/posix/linux_system_files.h"

namespace {
constexpr uint64_t kHugePageSize = uint64_t{2} << 20;

// The mapping is made larger by one huge page and trimmed at both ends, so
// that the buffer starts on a huge-page boundary.
uint8_t* MapAligned(uint64_t byteCount) {
  const uint64_t mapped = byteCount + kHugePageSize;
  void* raw = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePageSize - 1) & ~(kHugePageSize - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t end = start + mapped;
  const uintptr_t used = aligned + byteCount;
  if (end > used) munmap(reinterpret_cast<void*>(used), end - used);
  return reinterpret_cast<uint8_t*>(aligned);
}
}  // namespace

void* MapSurveyBuffer(uint64_t byteCount, bool askHugePages) {
  if (byteCount == 0) return nullptr;
  uint8_t* buffer = MapAligned(byteCount);
  if (buffer != nullptr && askHugePages) madvise(buffer, byteCount, MADV_HUGEPAGE);
  return buffer;
}

void ReleaseSurveyBuffer(void* buffer, uint64_t byteCount) {
  if (buffer != nullptr) munmap(buffer, byteCount);
}

uint64_t HugePageBytes(const void* buffer, uint64_t byteCount) {
  std::FILE* smaps = std::fopen("/proc/self/smaps", "r");
  if (smaps == nullptr) return 0;
  const uintptr_t first = reinterpret_cast<uintptr_t>(buffer);
  const uintptr_t last = first + byteCount;
  uint64_t total = 0;
  bool inside = false;
  char line[512];
  while (std::fgets(line, sizeof line, smaps) != nullptr) {
    uintptr_t start = 0, end = 0;
    // A mapping's header line ("start-end perms ..."); the field lines that
    // follow it ("Name: value") never parse as two hex numbers.
    if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " ", &start, &end) == 2) {
      inside = start < last && end > first;
      continue;
    }
    uint64_t kib = 0;
    if (inside && std::sscanf(line, "AnonHugePages: %" SCNu64 " kB", &kib) == 1) total += kib << 10;
  }
  std::fclose(smaps);
  return total;
}

namespace {
// The start of a small system file; "" where it cannot be read.
std::string ReadSystemFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return "";
  char text[4096];
  const size_t length = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  return std::string(text, length);
}

uint64_t MemAvailableBytes() {
  std::FILE* meminfo = std::fopen("/proc/meminfo", "r");
  if (meminfo == nullptr) return 0;
  uint64_t kib = 0;
  char line[256];
  while (std::fgets(line, sizeof line, meminfo) != nullptr)
    if (std::sscanf(line, "MemAvailable: %" SCNu64 " kB", &kib) == 1) break;
  std::fclose(meminfo);
  return kib << 10;
}

// The least room left by the process's cgroup and its ancestors (a limit may
// sit on any of them); UINT64_MAX where none limits memory.
uint64_t CgroupRoomBytes() {
  uint64_t least = UINT64_MAX;
  for (std::string path = CgroupV2Path(ReadSystemFile("/proc/self/cgroup")); !path.empty();
       path = CgroupParentPath(path)) {
    const std::string folder = "/sys/fs/cgroup" + (path == "/" ? std::string() : path);
    const uint64_t room = CgroupMemoryRoom(ReadSystemFile(folder + "/memory.max"), ReadSystemFile(folder + "/memory.current"));
    if (room < least) least = room;
  }
  return least;
}
}  // namespace

uint64_t AvailableMemoryBytes() {
  const uint64_t available = MemAvailableBytes();
  const uint64_t room = CgroupRoomBytes();
  if (room == UINT64_MAX) return available;
  return available != 0 && available < room ? available : room;
}

std::string TransparentHugePageMode() {
  return TransparentHugePageModeOf(ReadSystemFile("/sys/kernel/mm/transparent_hugepage/enabled"));
}
