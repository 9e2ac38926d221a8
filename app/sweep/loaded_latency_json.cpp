// The loaded-latency curves as JSON, for programs: the context, the threads
// and buffers, and per traffic kind its kernels, idle latency and points.
#include "app/sweep/loaded_latency_options.h"
#include "app/sweep/loaded_latency_report.h"

namespace {
using Json = nlohmann::ordered_json;

Json Cycles(uint64_t picoseconds, uint64_t coreHz) {
  return coreHz == 0 ? Json() : Json(static_cast<double>(picoseconds) * static_cast<double>(coreHz) / 1e12);
}

Json CurveJson(const LoadedLatencyCurve& curve, const LoadedLatencySetup& setup) {
  Json points = Json::array();
  for (const LoadedLatencyPoint& point : curve.points)
    points.push_back({{"delay_cycles", point.delayCycles},
                      {"achieved_delay_cycles", static_cast<double>(point.delayCyclesHundredths) / 100},
                      {"bytes_per_second", point.bytesPerSecond},
                      {"gb_per_second", static_cast<double>(point.bytesPerSecond) / 1e9},
                      {"latency_ns", static_cast<double>(point.latencyPicoseconds) / 1000},
                      {"latency_cycles", Cycles(point.latencyPicoseconds, curve.coreHz)}});
  return {{"traffic", loadedTrafficWords[curve.traffic]},
          {"kernels", LoadedTrafficKernelsText(curve.traffic, setup.kernels)},
          {"core_hz", curve.coreHz},
          {"huge_page_bytes", curve.hugePageBytes},
          {"idle_latency_ns", static_cast<double>(curve.idleLatencyPicoseconds) / 1000},
          {"idle_latency_cycles", Cycles(curve.idleLatencyPicoseconds, curve.coreHz)},
          {"points", points}};
}
}  // namespace

std::string FormatLoadedLatencyJson(const LoadedLatencyRun& run, const SurveyMachine& machine,
                                    const RunContext& context, uint64_t elapsedMilliseconds) {
  const LoadedLatencySetup& setup = run.setup;
  Json curves = Json::array();
  for (const LoadedLatencyCurve& curve : run.curves) curves.push_back(CurveJson(curve, setup));
  Json document = ContextJson("loaded_latency", machine, context);
  document.update(Json{
      {"rule", LoadedLatencyRuleText()},
      {"tsc_hz", machine.tscHz},
      {"chaser_processor", setup.processors[0]},
      {"loader_processors", std::vector<uint32_t>(setup.processors.begin() + 1, setup.processors.end())},
      {"buffers", {{"bytes_each", setup.bufferBytes},
                   {"huge_pages_asked", setup.hugePages},
                   {"last_level_cache_bytes", run.lastLevelCacheBytes == 0 ? Json() : Json(run.lastLevelCacheBytes)}}},
      {"chase_line_bytes", setup.lineSize},
      {"min_point_ms", static_cast<double>(setup.minTicks) * 1000 / static_cast<double>(setup.tscHz)},
      {"curves", curves},
      {"elapsed_ms", elapsedMilliseconds}});
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
