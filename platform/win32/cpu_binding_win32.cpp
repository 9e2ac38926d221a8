// Windows binding of a thread to a processor: SetThreadAffinityMask, or
// SetThreadGroupAffinity for processors of the groups beyond the first
// (number = group * 64 + bit); the processor a thread runs on, in the same numbering.
#include "platform/survey/processors.h"

#include <windows.h>

bool BindCurrentThread(uint32_t processor, std::string* error) {
  const uint32_t bit = processor % 64;
  bool bound = false;
  if (bit < 8 * sizeof(KAFFINITY)) {
    if (processor < 64) {
      bound = SetThreadAffinityMask(GetCurrentThread(), DWORD_PTR{1} << bit) != 0;
    } else {
      GROUP_AFFINITY affinity = {};
      affinity.Mask = KAFFINITY{1} << bit;
      affinity.Group = static_cast<WORD>(processor / 64);
      bound = SetThreadGroupAffinity(GetCurrentThread(), &affinity, nullptr) != 0;
    }
  }
  if (!bound) {
    *error = "binding to processor " + std::to_string(processor) + " failed";
    return false;
  }
  return true;
}

int32_t CurrentProcessor() {
  PROCESSOR_NUMBER number = {};
  GetCurrentProcessorNumberEx(&number);
  return static_cast<int32_t>(number.Group) * 64 + number.Number;
}
