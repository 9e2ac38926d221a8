#include "probe/processor.h"

#include <cpuid.h>
#include <cstring>

#include "record/state.h"

CpuidAnswer ExecuteCpuidInstruction(uint32_t leaf) {
  CpuidAnswer answer{0, 0, 0, 0};
  __cpuid_count(leaf, 0, answer.eax, answer.ebx, answer.ecx, answer.edx);
  return answer;
}

CpuidAnswer (*executeCpuid)(uint32_t leaf) = ExecuteCpuidInstruction;

static bool IsAmd(const CpuidAnswer& leaf0) {
  // "AuthenticAMD" in EBX, EDX, ECX.
  return leaf0.ebx == 0x68747541u && leaf0.edx == 0x69746E65u && leaf0.ecx == 0x444D4163u;
}

void ReadVendorText(char vendor[13]) {
  const CpuidAnswer leaf0 = executeCpuid(0);
  std::memcpy(vendor, &leaf0.ebx, 4);
  std::memcpy(vendor + 4, &leaf0.edx, 4);
  std::memcpy(vendor + 8, &leaf0.ecx, 4);
  vendor[12] = '\0';
}

void ProbeProcessor() {
  if (IsAmd(executeCpuid(0))) {
    measurementState.l1CacheSize = (executeCpuid(0x80000005u).ecx >> 24) << 10;
    measurementState.l2CacheSize = (executeCpuid(0x80000006u).ecx >> 16) << 10;
  } else {
    DecodeCacheDescriptors();
  }
  const uint32_t features = executeCpuid(1).edx;
  if (features & 0x02000000u) measurementState.hasSse = true;
  if (features & 0x04000000u) measurementState.hasSse2 = true;
  AllocateTestBuffers();
}

// Descriptor bytes that name a first- or second-level cache size (KiB).
namespace {
struct Descriptor {
  uint8_t byte;
  uint8_t level;
  uint16_t kib;
};
const Descriptor descriptorTable[] = {
    {0x0A, 1, 8},    {0x0C, 1, 16},   {0x2C, 1, 32},   {0x41, 2, 128},  {0x42, 2, 256},  {0x43, 2, 512},
    {0x44, 2, 1024}, {0x45, 2, 2048}, {0x49, 2, 4096}, {0x60, 1, 16},   {0x66, 1, 8},    {0x67, 1, 16},
    {0x68, 1, 32},   {0x78, 2, 1024}, {0x79, 2, 128},  {0x7A, 2, 256},  {0x7B, 2, 512},  {0x7C, 2, 1024},
    {0x7D, 2, 2048}, {0x7F, 2, 512},  {0x82, 2, 256},  {0x83, 2, 512},  {0x84, 2, 1024}, {0x85, 2, 2048},
    {0x86, 2, 512},  {0x87, 2, 1024},
};

void DecodeDescriptorByte(uint8_t byte, CacheSizesKiB* sizes) {
  for (const Descriptor& descriptor : descriptorTable) {
    if (descriptor.byte != byte) continue;
    (descriptor.level == 1 ? sizes->l1 : sizes->l2) = descriptor.kib;
    return;
  }
}
}  // namespace

uint32_t DescriptorBytes(const CpuidAnswer& answer, uint8_t bytes[15]) {
  const uint32_t registers[4] = {answer.eax, answer.ebx, answer.ecx, answer.edx};
  uint32_t count = 0;
  for (int r = 0; r < 4; ++r) {
    if (registers[r] & 0x80000000u) continue;  // holds no descriptors
    // The lowest byte of EAX is the repeat count, never a descriptor.
    for (int b = (r == 0 ? 1 : 0); b < 4; ++b) bytes[count++] = static_cast<uint8_t>(registers[r] >> (8 * b));
  }
  return count;
}

void DecodeDescriptorAnswer(const CpuidAnswer& answer, CacheSizesKiB* sizes) {
  uint8_t bytes[15];
  const uint32_t count = DescriptorBytes(answer, bytes);
  for (uint32_t i = 0; i < count; ++i) DecodeDescriptorByte(bytes[i], sizes);
}

void DecodeCacheDescriptors() {
  CacheSizesKiB sizes{0, 0};
  CpuidAnswer answer = executeCpuid(2);
  const uint32_t executions = (answer.eax & 0xFFu) == 0 ? 1 : (answer.eax & 0xFFu);
  for (uint32_t execution = 0; execution < executions; ++execution) {
    if (execution > 0) answer = executeCpuid(2);
    DecodeDescriptorAnswer(answer, &sizes);
  }
  if (sizes.l1 != 0) measurementState.l1CacheSize = sizes.l1 << 10;
  if (sizes.l2 != 0) measurementState.l2CacheSize = sizes.l2 << 10;
}
