// Windows binding of the survey's buffers: VirtualAlloc'd pages. Large pages need a privilege a benchmark should not ask for, so none
// are requested and none are reported.
#include "platform/survey/memory.h"

#include <windows.h>

#include <cstring>

// Committed, but a page gets memory only when first written.
void* MapSurveyBuffer(uint64_t byteCount, bool /*askHugePages*/) {
  if (byteCount == 0 || byteCount > SIZE_MAX) return nullptr;
  return VirtualAlloc(nullptr, static_cast<SIZE_T>(byteCount), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void ReleaseSurveyBuffer(void* buffer, uint64_t /*byteCount*/) {
  if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
}

uint64_t HugePageBytes(const void* /*buffer*/, uint64_t /*byteCount*/) { return 0; }

uint64_t AvailableMemoryBytes() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  // A 32-bit process can address far less than the machine has.
  uint64_t available = status.ullAvailPhys;
  if (status.ullAvailVirtual < available) available = status.ullAvailVirtual;
  return available;
}

// Windows has no transparent huge pages.
std::string TransparentHugePageMode() { return ""; }
