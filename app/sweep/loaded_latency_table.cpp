// The loaded-latency curves as a person reads them: the context, the threads
// and buffers, what the figures are, then per traffic kind its kernels, the
// idle latency and a row per delay.
#include "app/sweep/loaded_latency_options.h"
#include "app/sweep/loaded_latency_report.h"
#include "app/sweep/survey_quantities.h"

std::string LoadedLatencyRuleText() {
  return "bandwidth: the loaders' bytes moved (a copied byte counted once) over the span from the first loader's "
         "start to the last one's end\n"
         "latency: the chaser's mean time per dependent load over its own span, in ns and in core cycles at the "
         "measured core clock\n"
         "delay: dependent additions after every 4 KiB a loader moves, in steps of 16 cycles; achieved: one "
         "delay's cost measured on the first loader's core\n";
}

std::string LoadedTrafficKernelsText(LoadedTraffic traffic, const LoadedKernels& kernels) {
  const SurveyKernel* kernel = LoadedBlockKernel(traffic, 0, kernels);
  if (traffic == TrafficMix && kernels.read != nullptr && kernels.write != nullptr)
    return std::string(kernels.read->name) + " 2 : " + kernels.write->name + " 1";
  return kernel == nullptr ? "-" : kernel->name;
}

std::string LatencyCyclesText(uint64_t picoseconds, uint64_t coreHz) {
  if (coreHz == 0 || picoseconds > UINT64_MAX / coreHz) return "-";
  return DecimalText(picoseconds * coreHz, 1000000000000ull, 1);
}

namespace {
std::string RightAligned(const std::string& text, size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

std::string CurveText(const LoadedLatencyCurve& curve, const LoadedLatencySetup& setup) {
  std::string text = std::string(loadedTrafficWords[curve.traffic]) + " traffic (" +
                     LoadedTrafficKernelsText(curve.traffic, setup.kernels) + "); core clock " +
                     GigahertzText(curve.coreHz) + "; idle latency " + DecimalText(curve.idleLatencyPicoseconds, 1000, 1) +
                     " ns (" + LatencyCyclesText(curve.idleLatencyPicoseconds, curve.coreHz) +
                     " cycles), the loaders asleep\n";
  text += "huge pages: " + ByteSizeText(curve.hugePageBytes) + " of " +
          ByteSizeText(curve.bufferBytes * curve.threads) + (setup.hugePages ? " (asked)\n" : " (not asked)\n");
  text += "  delay cycles   achieved   bandwidth GB/s   latency ns   latency cycles\n";
  for (const LoadedLatencyPoint& point : curve.points)
    text += RightAligned(std::to_string(point.delayCycles), 14) +
            RightAligned(DecimalText(point.delayCyclesHundredths, 100, 1), 11) +
            RightAligned(DecimalText(point.bytesPerSecond, 1000000000, 2), 17) +
            RightAligned(DecimalText(point.latencyPicoseconds, 1000, 1), 13) +
            RightAligned(LatencyCyclesText(point.latencyPicoseconds, curve.coreHz), 17) + "\n";
  return text;
}
}  // namespace

std::string FormatLoadedLatencyText(const LoadedLatencyRun& run, const SurveyMachine& machine,
                                    const RunContext& context, uint64_t elapsedMilliseconds) {
  const LoadedLatencySetup& setup = run.setup;
  std::string text = "Lorvanta loaded latency: " + machine.identity.vendor + "\n" + ContextHead(machine, context);
  if (!machine.layoutSource.empty()) text += "processors and cache instances: " + machine.layoutSource + "\n";
  text += "time-stamp counter: " + GigahertzText(machine.tscHz) + "\n";
  std::string loaders;
  for (size_t i = 1; i < setup.processors.size(); ++i) loaders += (i > 1 ? ", " : "") + std::to_string(setup.processors[i]);
  text += "chaser: processor " + std::to_string(setup.processors[0]) + ", a random cycle through " +
          ByteSizeText(setup.bufferBytes) + " in " + std::to_string(setup.lineSize) + "-byte lines; loaders: " +
          (setup.processors.size() == 2 ? "processor " : "processors ") + loaders + ", each over its own " +
          ByteSizeText(setup.bufferBytes) + "\n";
  if (run.lastLevelCacheBytes != 0 && setup.bufferBytes < 8 * run.lastLevelCacheBytes)
    text += "note: the buffers are smaller than 8 x the last-level cache (" + ByteSizeText(run.lastLevelCacheBytes) +
            "): part of the chase and the traffic is served by the caches\n";
  text += "every point lasts at least " + DecimalText(setup.minTicks, setup.tscHz / 1000, 0) + " ms on the chaser\n";
  text += LoadedLatencyRuleText();
  for (const LoadedLatencyCurve& curve : run.curves) text += "\n" + CurveText(curve, setup);
  return text + "\nmeasured in " + DecimalText(elapsedMilliseconds, 1000, 1) + " s\n";
}
