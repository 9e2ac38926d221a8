// Every transfer kernel the survey can time, as one table: name, group,
// instruction set, step and the routine. The survey runs those whose
// instruction set both the processor and the operating system support and the
// user asked for.
#pragma once
#include <cstdint>

#include "probe/isa.h"

enum SurveyGroup : uint32_t { GroupRead = 0, GroupWrite = 1, GroupCopy = 2 };
constexpr uint32_t kSurveyGroupCount = 3;

// Instruction sets, as bits of a mask.
enum SurveyIsa : uint32_t {
  IsaMmx = 1u << 0,
  IsaSse = 1u << 1,
  IsaSse2 = 1u << 2,
  IsaAvx = 1u << 3,
  IsaAvx2 = 1u << 4,  // no kernel of its own: the 256-bit kernels need AVX only
  IsaAvx512 = 1u << 5,
  IsaRep = 1u << 6,   // rep movsb / rep stosb
};
constexpr uint32_t kAllIsas = IsaMmx | IsaSse | IsaSse2 | IsaAvx | IsaAvx2 | IsaAvx512 | IsaRep;

struct SurveyKernel {
  const char* name;
  SurveyGroup group;
  SurveyIsa isa;
  uint32_t step;  // bytes per loop step: a call moves its count cut to whole steps
  void (*read)(const void* source, uint32_t byteCount);
  void (*write)(void* destination, uint32_t byteCount);
  void (*copy)(const void* source, void* destination, uint32_t byteCount);
};

extern const SurveyKernel surveyKernels[];
extern const uint32_t surveyKernelCount;

// Word of --isa ("mmx", "sse", "sse2", "avx", "avx2", "avx512", "rep", "all")
// to its mask; 0 for an unknown word.
uint32_t IsaMaskFromWord(const char* word);
const char* IsaName(SurveyIsa isa);

// The survey's mask of what DetectIsaSupport reports.
uint32_t SurveyIsasOf(const IsaSupport& isa);

// Indices of the kernels to run: those whose set is in both masks (avx2 in
// the wanted mask selects the 256-bit kernels).
uint32_t SelectSurveyKernels(uint32_t supported, uint32_t wanted, uint32_t* indices, uint32_t capacity);
