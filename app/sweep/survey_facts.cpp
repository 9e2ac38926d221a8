#include "app/sweep/survey_facts.h"

#include "probe/clock.h"
#include "probe/isa.h"
#include "probe/processor.h"

void ProbeSurveyMachine(SurveyRecord* record, SurveyFacts* facts) {
  char vendor[13];
  ReadVendorText(vendor);
  facts->vendor = vendor;
  // Provisional: the extended leaves' L1 and L2 only.
  record->caches.clear();
  record->caches.push_back(SurveyCache{"L1", uint64_t{executeCpuid(0x80000005u).ecx >> 24} << 10, 64, 1});
  record->caches.push_back(SurveyCache{"L2", uint64_t{executeCpuid(0x80000006u).ecx >> 16} << 10, 64, 1});
  facts->topologySource = "CPUID 0x80000005/6";
  const IsaSupport isa = DetectIsaSupport();
  const struct { bool present; uint32_t mask; } sets[] = {
      {isa.mmx, IsaMmx},   {isa.sse, IsaSse},         {isa.sse2, IsaSse2}, {isa.avx, IsaAvx},
      {isa.avx2, IsaAvx2}, {isa.avx512f, IsaAvx512}, {isa.erms, IsaRep}};
  record->supportedIsas = 0;
  for (const auto& set : sets)
    if (set.present) record->supportedIsas |= set.mask;
  record->tscHz = MeasureClockFrequency();
  record->coreHz = 0;
}

bool WriteSurveyPictureFile(const SurveyRecord&, const SurveyFacts&, FileHandle file, const char* path, int32_t,
                            int32_t) {
  CloseFile(file);
  RemoveFile(path);
  return false;
}
