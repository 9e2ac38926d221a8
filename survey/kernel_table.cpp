#include "survey/kernel_table.h"

#include <cstring>

#include "measure/kernels.h"
#ifdef LORVANTA_HAVE_WIDE_KERNELS
#include "measure/kernels_wide.h"
#endif

#define READ(name, isa, step) {#name, GroupRead, isa, step, name, nullptr, nullptr}
#define WRITE(name, isa, step) {#name, GroupWrite, isa, step, nullptr, name, nullptr}
#define COPY(name, isa, step) {#name, GroupCopy, isa, step, nullptr, nullptr, name}

const SurveyKernel surveyKernels[] = {
    READ(ReadMmx, IsaMmx, 128),
    READ(ReadMmxPrefetch, IsaMmx, 64),
    READ(ReadSse, IsaSse, 16),
    READ(ReadSsePrefetch, IsaSse, 128),
    READ(ReadSse2, IsaSse2, 16),
    READ(ReadSse2Prefetch, IsaSse2, 16),
    WRITE(WriteMmx, IsaMmx, 64),
    WRITE(WriteMmxNonTemporal, IsaMmx, 64),
    WRITE(WriteSse, IsaSse, 128),
    WRITE(WriteSseNonTemporal, IsaSse, 128),
    WRITE(WriteSse2, IsaSse2, 128),
    WRITE(WriteSse2NonTemporal, IsaSse2, 128),
    COPY(CopyMmx, IsaMmx, 128),
    COPY(CopyMmxNonTemporal, IsaMmx, 128),
    COPY(CopySseNonTemporal, IsaSse, 128),
    COPY(CopySse2, IsaSse2, 128),
#ifdef LORVANTA_HAVE_WIDE_KERNELS
    READ(ReadAvx, IsaAvx, 128),
    READ(ReadAvxPrefetch, IsaAvx, 128),
    READ(ReadAvx512, IsaAvx512, 256),
    READ(ReadAvx512Prefetch, IsaAvx512, 256),
    WRITE(WriteAvx, IsaAvx, 128),
    WRITE(WriteAvxNonTemporal, IsaAvx, 128),
    WRITE(WriteAvx512, IsaAvx512, 256),
    WRITE(WriteAvx512NonTemporal, IsaAvx512, 256),
    WRITE(WriteRepStosb, IsaRep, 1),
    COPY(CopyAvx, IsaAvx, 128),
    COPY(CopyAvxNonTemporal, IsaAvx, 128),
    COPY(CopyAvx512, IsaAvx512, 256),
    COPY(CopyAvx512NonTemporal, IsaAvx512, 256),
    COPY(CopyRepMovsb, IsaRep, 1),
#endif
};
const uint32_t surveyKernelCount = sizeof surveyKernels / sizeof surveyKernels[0];

namespace {
struct IsaWord {
  const char* word;
  uint32_t mask;
};
const IsaWord isaWords[] = {{"mmx", IsaMmx},   {"sse", IsaSse},       {"sse2", IsaSse2}, {"avx", IsaAvx},
                            {"avx2", IsaAvx2}, {"avx512", IsaAvx512}, {"rep", IsaRep},   {"all", kAllIsas}};
}  // namespace

uint32_t IsaMaskFromWord(const char* word) {
  for (const IsaWord& entry : isaWords)
    if (std::strcmp(entry.word, word) == 0) return entry.mask;
  return 0;
}

const char* IsaName(SurveyIsa isa) {
  for (const IsaWord& entry : isaWords)
    if (entry.mask == isa) return entry.word;
  return "?";
}

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
