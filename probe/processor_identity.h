// Who the processor is, from CPUID: vendor, brand string, family, model and
// stepping, and the hypervisor it runs under, if any. Recorded with every
// survey so that results from different machines can be told apart.
#pragma once
#include <cstdint>
#include <string>

#include "probe/processor.h"

struct ProcessorIdentity {
  std::string vendor;      // leaf 0 ("GenuineIntel", "AuthenticAMD")
  std::string brand;       // leaves 0x80000002-4 without surrounding spaces; "" where absent
  uint32_t family = 0;     // leaf 1, with the extended family added where the base family is 0xF
  uint32_t model = 0;      // leaf 1, with the extended model above it where the base family is 6 or 0xF
  uint32_t stepping = 0;
  std::string hypervisor;  // leaf 0x40000000's vendor when leaf 1 ECX bit 31 is set; "" on bare metal
};

// Decodes the identity from the answers cpuid gives (sub-leaf 0); tests pass
// recorded answers, the survey executeCpuid.
ProcessorIdentity DecodeProcessorIdentity(CpuidAnswer (*cpuid)(uint32_t leaf));
