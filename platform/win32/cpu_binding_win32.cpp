// Windows binding of the thread placement: the processors of the process's
// affinity mask in their order (hardware threads are not told apart), bound
// with SetThreadAffinityMask, or with SetThreadGroupAffinity for processors
// of the groups beyond the first (number = group * 64 + bit).
#include "platform/cpu_binding.h"

#include <windows.h>

std::vector<uint32_t> ProcessorsInBindingOrder() {
  std::vector<uint32_t> order;
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return order;
  for (uint32_t bit = 0; bit < 8 * sizeof(DWORD_PTR); ++bit)
    if (process & (DWORD_PTR{1} << bit)) order.push_back(bit);
  return order;
}

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
