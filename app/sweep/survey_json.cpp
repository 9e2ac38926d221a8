// The survey as JSON, for programs: every figure with its kernel, spread and
// bytes per cycle, each run's placement, the curves, the latency.
#include <nlohmann/json.hpp>

#include "app/sweep/machine_context.h"
#include "app/sweep/survey_options.h"
#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"
#include "app/tool_version.h"

namespace {
using Json = nlohmann::ordered_json;

Json FigureJson(const SurveyRun& run, const LevelFigure& figure) {
  if (!figure.present) return nullptr;
  return {{"bytes_per_second", figure.rate},
          {"gb_per_second", static_cast<double>(figure.rate) / 1e9},
          {"bytes_per_cycle_per_thread",
           run.coreHz != 0 ? Json(static_cast<double>(figure.rate) / run.threads / run.coreHz) : Json()},
          {"kernel", surveyKernels[figure.kernel].name},
          {"lengths", figure.lengthCount},
          {"passes", {{"count", run.passes}, {"lowest_bytes_per_second", figure.lowest},
                      {"highest_bytes_per_second", figure.highest},
                      {"spread_percent", run.passes > 1 ? Json(SpreadPercent(figure)) : Json()},
                      {"unstable", run.passes > 1 && FigureUnstable(figure)}}}};
}

Json PlacementJson(const SurveyRecord& record, const SurveyPlacement& placement) {
  Json threads = Json::array();
  for (const ThreadPlace& place : placement.threads) {
    Json caches = Json::object();
    for (const PlacedCache& cache : place.caches) caches["L" + std::to_string(cache.level)] = cache.instance;
    threads.push_back({{"processor", place.processor}, {"core", place.core}, {"package", place.package},
                       {"cache_instances", caches}});
  }
  Json shares = Json::array();
  for (size_t level = 0; level < placement.shares.size() && level < record.machine.caches.size(); ++level)
    shares.push_back({{"name", record.machine.caches[level].name}, {"smallest_bytes", placement.shares[level].smallest},
                      {"largest_bytes", placement.shares[level].largest}});
  return {{"bound", placement.bound},
          {"threads", threads},
          {"threads_share_cores", placement.sharesCores},
          {"shares_from", placement.sharesFromCounts ? "cpuid_counts" : "system_cache_sets"},
          {"cache_shares_per_thread", shares}};
}

Json RunJson(const SurveyRecord& record, const SurveyRun& run) {
  Json levels = Json::array();
  for (const SurveyLevel& level : run.levels) {
    Json entry = {{"name", level.name}, {"size_bytes", level.share.smallest},
                  {"share_bytes", {{"smallest", level.share.smallest}, {"largest", level.share.largest}}},
                  {"window_bytes", {{"above", level.window.low}, {"up_to", level.window.high == 0 ? Json() : Json(level.window.high)}}}};
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) entry[surveyGroupWords[group]] = FigureJson(run, level.figures[group]);
    if (level.absent.absence != LevelPresent) entry["absent_reason"] = SurveyAbsenceAdvice(level);
    levels.push_back(entry);
  }
  Json curves = {{"lengths_bytes", run.lengths}};
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    Json kernels = Json::array();
    for (uint32_t index : run.bestKernels[group]) kernels.push_back(surveyKernels[index].name);
    curves[surveyGroupWords[group]] = {{"best_bytes_per_second", run.bestRates[group]}, {"best_kernel", kernels}};
  }
  Json perKernel = Json::object();
  const size_t lengthCount = run.lengths.size();
  for (size_t slot = 0; slot < run.kernels.size(); ++slot) {
    const SurveyKernel& kernel = surveyKernels[run.kernels[slot]];
    perKernel[kernel.name] = {
        {"group", surveyGroupWords[kernel.group]}, {"isa", IsaName(kernel.isa)},
        {"bytes_per_second", std::vector<uint64_t>(run.kernelRates.begin() + slot * lengthCount,
                                                   run.kernelRates.begin() + (slot + 1) * lengthCount)}};
  }
  curves["kernels"] = perKernel;
  std::vector<uint32_t> processors;
  for (const ThreadPlace& place : run.placement.threads) processors.push_back(place.processor);
  return {{"threads", run.threads},
          {"bound", run.placement.bound},
          {"processors", processors},
          {"placement", PlacementJson(record, run.placement)},
          {"core_hz_per_thread", run.threadCoreHz},
          {"core_hz", run.coreHz},
          {"buffers", {{"bytes_each", run.lengths.back()}, {"per_thread", 2}, {"huge_page_bytes", run.hugePageBytes}}},
          {"levels", levels},
          {"curves", curves}};
}

Json LatencyJson(const SurveyRecord& record) {
  const SurveyLatency& latency = record.latency;
  if (!latency.measured) return nullptr;
  Json levels = Json::array();
  const std::vector<std::string> names = SurveyLevelNames(record.machine.caches);
  for (size_t i = 0; i < latency.levels.size() && i < names.size(); ++i) {
    const LevelFigure& figure = latency.levels[i];
    levels.push_back({{"name", names[i]},
                      {"window_bytes", {{"above", latency.windows[i].low},
                                        {"up_to", latency.windows[i].high == 0 ? Json() : Json(latency.windows[i].high)}}},
                      {"picoseconds", figure.present ? Json(figure.rate) : Json()},
                      {"ns", figure.present ? Json(static_cast<double>(figure.rate) / 1000) : Json()},
                      {"core_cycles", figure.present && latency.coreHz != 0
                                          ? Json(static_cast<double>(figure.rate) * latency.coreHz / 1e12) : Json()}});
  }
  return {{"threads", 1}, {"placement", PlacementJson(record, latency.placement)}, {"core_hz", latency.coreHz},
          {"levels", levels}, {"lengths_bytes", latency.lengths}, {"picoseconds", latency.picoseconds}};
}
}  // namespace

std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts) {
  const SurveySettings& settings = record.settings;
  Json caches = Json::array();
  for (const SurveyCache& cache : record.machine.caches)
    caches.push_back({{"name", cache.name}, {"size_bytes", cache.sizeBytes}, {"line_bytes", cache.lineSize},
                      {"shared_by", cache.sharedBy}});
  Json runs = Json::array();
  for (const SurveyRun& run : record.runs) runs.push_back(RunJson(record, run));
  const std::string& thp = record.machine.system.transparentHugePages;
  Json document = ContextJson("survey", record.machine, facts);
  document.update(Json{
      {"processor", {{"vendor", record.machine.identity.vendor}}},
      {"topology", {{"source", record.machine.cacheSource}, {"caches", caches},
                    {"os_disagrees", record.machine.cacheWarning.empty() ? Json() : Json(record.machine.cacheWarning)},
                    {"layout_source", record.machine.layoutSource}}},
      {"clocks", {{"core_hz", record.machine.coreHz}, {"tsc_hz", record.machine.tscHz}}},
      {"settings", {{"max_size_bytes", settings.maxSize}, {"max_size_capped", facts.maxSizeCapped},
                    {"points_per_doubling", settings.pointsPerDoubling},
                    {"min_time_ns", settings.minTimeNanoseconds}, {"repeats", settings.repeats},
                    {"huge_pages", settings.hugePages}}},
      {"pages", {{"transparent_huge_pages", thp.empty() ? Json() : Json(thp)},
                 {"huge_pages_asked", settings.hugePages}}},
      {"copy_bytes_counted", copyAccounting},
      {"runs", runs},
      {"latency", LatencyJson(record)},
      {"elapsed_ms", facts.elapsedMilliseconds}});
  // A label that is no valid UTF-8 keeps its valid parts (U+FFFD for the rest)
  // rather than ending the run.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
