#include "survey/kernel_table.h"

uint32_t SurveyIsasOf(const IsaSupport& isa) {
  const struct { bool present; uint32_t mask; } sets[] = {
      {isa.mmx, IsaMmx},   {isa.sse, IsaSse},         {isa.sse2, IsaSse2}, {isa.avx, IsaAvx},
      {isa.avx2, IsaAvx2}, {isa.avx512f, IsaAvx512}, {isa.erms, IsaRep}};
  uint32_t mask = 0;
  for (const auto& set : sets)
    if (set.present) mask |= set.mask;
  return mask;
}

uint32_t SelectSurveyKernels(uint32_t supported, uint32_t wanted, uint32_t* indices, uint32_t capacity) {
  // Asking for avx2 asks for the 256-bit kernels, where AVX2 is there.
  if ((wanted & IsaAvx2) && (supported & IsaAvx2)) wanted |= IsaAvx;
  uint32_t count = 0;
  for (uint32_t i = 0; i < surveyKernelCount && count < capacity; ++i) {
    const uint32_t isa = surveyKernels[i].isa;
    if ((supported & isa) && (wanted & isa)) indices[count++] = i;
  }
  return count;
}
