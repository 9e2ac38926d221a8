// The kernels the survey can time: a view of the kernel registry
// (measure/kernel_registry.h) under the survey's names. The survey runs those
// whose instruction set both the processor and the operating system support
// and the user asked for.
#pragma once
#include <cstdint>

#include "measure/kernel_registry.h"
#include "probe/isa.h"

using SurveyGroup = KernelGroup;
constexpr uint32_t kSurveyGroupCount = kKernelGroupCount;
using SurveyIsa = KernelIsa;
constexpr uint32_t kAllIsas = IsaMmx | IsaSse | IsaSse2 | IsaAvx | IsaAvx2 | IsaAvx512 | IsaRep;

using SurveyKernel = KernelRow;
constexpr const SurveyKernel* surveyKernels = kernelRegistry;
constexpr uint32_t surveyKernelCount = kKernelCount;

// The survey's mask of what DetectIsaSupport reports.
uint32_t SurveyIsasOf(const IsaSupport& isa);

// Indices of the kernels to run: those whose set is in both masks (avx2 in
// the wanted mask selects the 256-bit kernels).
uint32_t SelectSurveyKernels(uint32_t supported, uint32_t wanted, uint32_t* indices, uint32_t capacity);
