// The loaded-latency curves as CSV: a line saying what the figures are, then
// a row per point, the idle latency as a row of its own per traffic kind
// (its point "idle", no delay, no traffic).
#include "app/sweep/loaded_latency_options.h"
#include "app/sweep/loaded_latency_report.h"
#include "display/quantity_text.h"

std::string FormatLoadedLatencyCsv(const LoadedLatencyRun& run) {
  std::string rule = LoadedLatencyRuleText();
  for (size_t at = rule.find('\n'); at + 1 < rule.size(); at = rule.find('\n', at + 1)) rule.replace(at, 1, "; ");
  std::string text = "# " + rule +
                     "traffic,kernels,point,delay_cycles,achieved_delay_cycles,bytes_per_second,latency_ns,latency_cycles\n";
  for (const LoadedLatencyCurve& curve : run.curves) {
    const std::string head = std::string(loadedTrafficWords[curve.traffic]) + "," +
                             LoadedTrafficKernelsText(curve.traffic, run.setup.kernels) + ",";
    text += head + "idle,,,0," + DecimalText(curve.idleLatencyPicoseconds, 1000, 3) + "," +
            LatencyCyclesText(curve.idleLatencyPicoseconds, curve.coreHz) + "\n";
    for (const LoadedLatencyPoint& point : curve.points)
      text += head + "loaded," + std::to_string(point.delayCycles) + "," + DecimalText(point.delayCyclesHundredths, 100, 2) + "," +
              std::to_string(point.bytesPerSecond) + "," + DecimalText(point.latencyPicoseconds, 1000, 3) + "," +
              LatencyCyclesText(point.latencyPicoseconds, curve.coreHz) + "\n";
  }
  return text;
}
