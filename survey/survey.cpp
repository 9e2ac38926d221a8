#include "survey/survey.h"

#include "platform/survey_os.h"
#include "survey/arithmetic.h"
#include "survey/lengths.h"
#include "survey/timing.h"

SurveyRecord surveyRecord;

uint64_t EstimatedWork(uint64_t length, const SurveySettings& settings) {
  const uint64_t callNanoseconds = length / 8;
  const uint64_t measurement =
      callNanoseconds > settings.minTimeNanoseconds ? callNanoseconds : settings.minTimeNanoseconds;
  return measurement * settings.repeats + callNanoseconds;
}

uint64_t DefaultMaxSize(uint64_t lastLevelBytes, uint64_t availableBytes, bool* capped) {
  uint64_t size = uint64_t{64} << 20;
  if (8 * lastLevelBytes > size) size = 8 * lastLevelBytes;
  *capped = availableBytes != 0 && 2 * size > availableBytes / 2;
  if (*capped) size = availableBytes / 4 / kSurveyLengthGranule * kSurveyLengthGranule;
  return size;
}

void ComputeSurveyLevels(SurveyRecord& record) {
  std::vector<uint64_t> sizes;
  for (const SurveyCache& cache : record.caches) sizes.push_back(cache.sizeBytes);
  const std::vector<LevelWindow> windows = LevelWindows(sizes.data(), static_cast<uint32_t>(sizes.size()));
  const uint64_t largest = record.lengths.empty() ? 0 : record.lengths.back();
  record.levels.clear();
  for (size_t i = 0; i < windows.size(); ++i) {
    SurveyLevel level;
    level.name = i < record.caches.size() ? record.caches[i].name : "memory";
    level.sizeBytes = i < record.caches.size() ? record.caches[i].sizeBytes : 0;
    level.window = windows[i];
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      level.figures[group] =
          FigureInWindow(record.lengths, record.bestRates[group], record.bestKernels[group], windows[i]);
    if (!level.figures[GroupRead].present) level.absentReason = WhyNoFigure(windows[i], largest);
    record.levels.push_back(level);
  }
}

SurveyOutcome RunSurvey(SurveyProgressFunction progress, void* context) {
  SurveyRecord& record = surveyRecord;
  const SurveySettings& settings = record.settings;
  uint32_t indices[64];
  const uint32_t kernelCount = SelectSurveyKernels(record.supportedIsas, settings.wantedIsas, indices, 64);
  record.kernels.assign(indices, indices + kernelCount);
  if (kernelCount == 0) return SurveyNoKernels;
  record.lengths = SurveyLengths(settings.maxSize, settings.pointsPerDoubling);
  const size_t lengthCount = record.lengths.size();
  record.kernelRates.assign(kernelCount * lengthCount, 0);
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    record.bestRates[group].assign(lengthCount, 0);
    record.bestKernels[group].assign(lengthCount, 0);
  }

  record.bufferBytes = record.lengths.back();
  uint8_t* source = static_cast<uint8_t*>(CommitSurveyBuffer(record.bufferBytes, settings.hugePages));
  uint8_t* destination = static_cast<uint8_t*>(CommitSurveyBuffer(record.bufferBytes, settings.hugePages));
  if (source == nullptr || destination == nullptr) {
    ReleaseSurveyBuffer(source, record.bufferBytes);
    ReleaseSurveyBuffer(destination, record.bufferBytes);
    return SurveyNoBuffers;
  }
  record.hugePageBytes =
      HugePageBytes(source, record.bufferBytes) + HugePageBytes(destination, record.bufferBytes);

  const TimingRule rule{MulDivWide(settings.minTimeNanoseconds, record.tscHz, 1000000000u), settings.repeats,
                        record.tscHz};
  SurveyProgress where{0, 0, 0};
  for (uint64_t length : record.lengths) where.workTotal += EstimatedWork(length, settings) * kernelCount;

  SurveyOutcome outcome = SurveyCompleted;
  for (size_t i = 0; i < lengthCount && outcome == SurveyCompleted; ++i) {
    const uint64_t length = record.lengths[i];
    where.length = length;
    for (uint32_t slot = 0; slot < kernelCount; ++slot) {
      if (progress != nullptr && !progress(where, context)) {
        outcome = SurveyStopped;
        break;
      }
      const SurveyKernel& kernel = surveyKernels[record.kernels[slot]];
      const uint64_t rate = MeasureSustainedRate(kernel, source, destination, length, rule);
      record.kernelRates[slot * lengthCount + i] = rate;
      if (rate > record.bestRates[kernel.group][i]) {
        record.bestRates[kernel.group][i] = rate;
        record.bestKernels[kernel.group][i] = record.kernels[slot];
      }
      where.workDone += EstimatedWork(length, settings);
    }
  }
  if (outcome == SurveyCompleted && progress != nullptr) progress(where, context);
  ReleaseSurveyBuffer(source, record.bufferBytes);
  ReleaseSurveyBuffer(destination, record.bufferBytes);
  ComputeSurveyLevels(record);
  return outcome;
}
