#include "app/sweep/survey_facts.h"

#include <vector>
#ifdef LORVANTA_HAVE_SURVEY_PICTURE
#include "app/sweep/survey_picture.h"
#include "display/survey_chart.h"
#endif

#include "platform/cache_view.h"
#include "probe/clock.h"
#include "probe/core_clock.h"
#include "probe/topology.h"
#include "probe/isa.h"
#include "probe/processor.h"

void ProbeSurveyMachine(SurveyRecord* record, SurveyFacts* facts) {
  char vendor[13];
  ReadVendorText(vendor);
  facts->vendor = vendor;
  // The processor's answer counts; the system's view only warns.
  const CacheTopology topology = ReadCacheTopology();
  facts->topologySource = topology.source;
  facts->cacheLines.clear();
  for (uint32_t i = 0; i < topology.count; ++i) facts->cacheLines += "  " + DescribeCache(topology.caches[i]) + "\n";
  CacheTopology system;
  if (ReadOsCacheTopology(&system)) facts->topologyWarning = CompareCacheTopologies(topology, system);
  CacheLevelInfo levels[8];
  const uint32_t levelCount = DataCacheLevels(topology, levels, 8);
  record->caches.clear();
  for (uint32_t i = 0; i < levelCount; ++i)
    record->caches.push_back(SurveyCache{"L" + std::to_string(levels[i].level), levels[i].sizeBytes,
                                         levels[i].lineSize, levels[i].sharedBy});
  const IsaSupport isa = DetectIsaSupport();
  const struct { bool present; uint32_t mask; } sets[] = {
      {isa.mmx, IsaMmx},   {isa.sse, IsaSse},         {isa.sse2, IsaSse2}, {isa.avx, IsaAvx},
      {isa.avx2, IsaAvx2}, {isa.avx512f, IsaAvx512}, {isa.erms, IsaRep}};
  record->supportedIsas = 0;
  for (const auto& set : sets)
    if (set.present) record->supportedIsas |= set.mask;
  record->tscHz = MeasureClockFrequency();
  record->coreHz = MeasureCoreClockHz();
}

#ifdef LORVANTA_HAVE_SURVEY_PICTURE
bool WriteSurveyPictureFile(const SurveyRecord& record, const SurveyFacts& facts, FileHandle file, const char* path,
                            int32_t width, int32_t height) {
  // The picture shows the last run (the largest thread count of a list).
  const SurveyRun& run = record.runs.back();
  auto wide = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
  std::vector<std::wstring> texts;  // owns every text the chart data points at
  texts.reserve(4 * run.levels.size() + record.caches.size() + 2);
  std::vector<SurveyChartLevel> marks;
  for (const SurveyCache& cache : record.caches) {
    texts.push_back(wide(cache.name));
    marks.push_back(SurveyChartLevel{texts.back().c_str(), cache.sizeBytes});
  }
  std::vector<SurveyChartFigure> figures;
  for (const SurveyLevel& level : run.levels) {
    SurveyChartFigure figure{};
    texts.push_back(wide(level.name == "memory" ? "DRAM" : level.name));
    figure.levelName = texts.back().c_str();
    figure.sizeBytes = level.sizeBytes;
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      if (!level.figures[group].present) continue;
      figure.rates[group] = level.figures[group].rate;
      texts.push_back(wide(surveyKernels[level.figures[group].kernel].name));
      figure.kernels[group] = texts.back().c_str();
    }
    if (level.latency.present) figure.latencyPicoseconds = level.latency.rate;
    figures.push_back(figure);
  }
  std::string title = facts.vendor + " - " + std::to_string(run.threads) + (run.threads == 1 ? " thread" : " threads") +
                      (run.processors.empty() ? ", unbound" : ", bound") + " - core " +
                      (record.coreHz != 0 ? FormatGigahertz(record.coreHz) : std::string("?")) + " - TSC " +
                      FormatGigahertz(record.tscHz);
  texts.push_back(wide(title));
  SurveyChartData data{};
  data.lengths = run.lengths.data();
  data.lengthCount = static_cast<uint32_t>(run.lengths.size());
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) data.rates[group] = run.bestRates[group].data();
  data.latencyPicoseconds = run.latencyPicoseconds.empty() ? nullptr : run.latencyPicoseconds.data();
  data.levels = marks.data();
  data.levelCount = static_cast<uint32_t>(marks.size());
  data.figures = figures.data();
  data.figureCount = static_cast<uint32_t>(figures.size());
  data.title = texts.back().c_str();
  return WriteSurveyPicture(file, path, width, height, data);
}
#else
bool WriteSurveyPictureFile(const SurveyRecord&, const SurveyFacts&, FileHandle file, const char* path, int32_t,
                            int32_t) {
  CloseFile(file);
  RemoveFile(path);
  return false;
}
#endif
