#include "probe/processor_identity.h"

#include <initializer_list>

namespace {
// The characters of registers in the order given, up to the first zero byte.
std::string RegisterText(std::initializer_list<uint32_t> registers) {
  std::string text;
  for (uint32_t value : registers)
    for (int byte = 0; byte < 4; ++byte) {
      const char c = static_cast<char>((value >> (8 * byte)) & 0xFF);
      if (c == '\0') return text;
      text += c;
    }
  return text;
}

std::string WithoutSurroundingSpaces(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}
}  // namespace

ProcessorIdentity DecodeProcessorIdentity(CpuidAnswer (*cpuid)(uint32_t leaf)) {
  ProcessorIdentity identity;
  const CpuidAnswer leaf0 = cpuid(0);
  identity.vendor = RegisterText({leaf0.ebx, leaf0.edx, leaf0.ecx});
  if (leaf0.eax >= 1) {
    const CpuidAnswer leaf1 = cpuid(1);
    const uint32_t baseFamily = (leaf1.eax >> 8) & 0xF;
    const uint32_t baseModel = (leaf1.eax >> 4) & 0xF;
    identity.stepping = leaf1.eax & 0xF;
    identity.family = baseFamily == 0xF ? baseFamily + ((leaf1.eax >> 20) & 0xFF) : baseFamily;
    identity.model = baseFamily == 6 || baseFamily == 0xF ? (((leaf1.eax >> 16) & 0xF) << 4) + baseModel : baseModel;
    if ((leaf1.ecx >> 31) & 1) {
      const CpuidAnswer hypervisor = cpuid(0x40000000u);
      identity.hypervisor = RegisterText({hypervisor.ebx, hypervisor.ecx, hypervisor.edx});
    }
  }
  // The three brand leaves hold 48 characters, zero-padded, at times with
  // leading spaces that right-align the text.
  if (cpuid(0x80000000u).eax >= 0x80000004u) {
    const CpuidAnswer a = cpuid(0x80000002u), b = cpuid(0x80000003u), c = cpuid(0x80000004u);
    identity.brand = WithoutSurroundingSpaces(
        RegisterText({a.eax, a.ebx, a.ecx, a.edx, b.eax, b.ebx, b.ecx, b.edx, c.eax, c.ebx, c.ecx, c.edx}));
  }
  return identity;
}
