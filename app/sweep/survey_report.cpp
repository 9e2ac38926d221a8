#include "app/sweep/survey_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "survey/arithmetic.h"
#include "survey/lengths.h"

namespace {

// numerator / denominator with `decimals` decimals, truncated, exact in
// 128-bit intermediate products.
std::string Fixed(uint64_t numerator, uint64_t denominator, unsigned decimals) {
  uint64_t scale = 1;
  for (unsigned i = 0; i < decimals; ++i) scale *= 10;
  const uint64_t scaled = MulDivWide(numerator, scale, denominator);
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%0*llu", static_cast<unsigned long long>(scaled / scale),
                static_cast<int>(decimals), static_cast<unsigned long long>(scaled % scale));
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string RightAligned(const std::string& text, size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// Rate of all threads, bytes per cycle per thread, the spread over the passes
// ('*' past the unstable mark) and kernel, the numbers right-aligned so that
// the columns line up.
std::string FigureCell(const SurveyRun& run, const LevelFigure& figure) {
  if (!figure.present) return "-";
  std::string cell = RightAligned(FormatGigabytesPerSecond(figure.rate), 11);
  if (run.coreHz != 0) cell += RightAligned(FormatBytesPerCycle(figure.rate / run.threads, run.coreHz), 15);
  const bool spread = run.passes > 1;  // one pass has no spread to tell
  cell += RightAligned(spread ? std::to_string(SpreadPercent(figure)) + "%" + (FigureUnstable(figure) ? "*" : " ") : "- ", 6);
  return cell + "  " + surveyKernels[figure.kernel].name;
}

std::string ByteSizeRange(const LevelShare& share) {
  if (share.smallest == share.largest) return FormatByteSize(share.smallest);
  return FormatByteSize(share.smallest) + "-" + FormatByteSize(share.largest);
}

std::string LevelSize(const SurveyLevel& level) {
  return level.share.largest != 0 ? ByteSizeRange(level.share) : ">= " + FormatByteSize(level.window.low + 1);
}
}  // namespace

std::string FormatGigabytesPerSecond(uint64_t bytesPerSecond) { return Fixed(bytesPerSecond, 1000000000u, 2) + " GB/s"; }

std::string FormatBytesPerCycle(uint64_t bytesPerSecond, uint64_t coreHz) {
  return coreHz == 0 ? "? B/cycle" : Fixed(bytesPerSecond, coreHz, 2) + " B/cycle";
}

std::string FormatLatency(uint64_t picoseconds, uint64_t coreHz) {
  std::string text = Fixed(picoseconds, 1000, 2) + " ns";
  // cycles = picoseconds * coreHz / 10^12
  if (coreHz != 0) text += " = " + Fixed(MulDivWide(picoseconds, coreHz, 1000000), 1000000, 2) + " cycles";
  return text;
}

std::string FormatGigahertz(uint64_t hertz) { return Fixed(hertz, 1000000000u, 3) + " GHz"; }

const char* const copyAccounting =
    "copy rates count each byte copied once (read once and written once); likwid-bench and STREAM count it "
    "read plus written, twice these figures";

uint32_t SpreadPercent(const LevelFigure& figure) {
  if (figure.highest == 0 || figure.lowest >= figure.highest) return 0;
  return static_cast<uint32_t>(MulDivWide(figure.highest - figure.lowest, 200, figure.highest) / 2 +
                               MulDivWide(figure.highest - figure.lowest, 200, figure.highest) % 2);
}

bool FigureUnstable(const LevelFigure& figure) {
  return figure.highest != 0 && figure.lowest < figure.highest &&
         MulDivWide(figure.highest - figure.lowest, 100, 1) > MulDivWide(figure.highest, unstableSpreadPercent, 1);
}

namespace {
const char* const groupKeys[kSurveyGroupCount] = {"read", "write", "copy"};

std::string ThreadsAndBinding(const SurveyRun& run) {
  std::string text = std::to_string(run.threads) + (run.threads == 1 ? " thread" : " threads");
  if (!run.placement.bound) return text + ", unbound";
  text += ", bound to processor" + std::string(run.placement.threads.size() == 1 ? " " : "s ");
  for (size_t i = 0; i < run.placement.threads.size(); ++i)
    text += (i ? "," : "") + std::to_string(run.placement.threads[i].processor);
  return text;
}

// Where the threads run, each one's share of the caches, the pages the
// buffers got and the threads' clocks.
std::string RunHead(const SurveyRecord& record, const SurveyRun& run, const SurveyFacts& facts) {
  std::string text = ThreadsAndBinding(run) + "; buffers 2 x " + FormatByteSize(run.lengths.back()) +
                     " per thread, " + FormatByteSize(run.hugePageBytes) + " of them on huge pages (as the system reports" +
                     (facts.transparentHugePages.empty() ? "" : "; transparent huge pages: " + facts.transparentHugePages) +
                     (record.settings.hugePages ? "; asked for)\n" : "; not asked for)\n");
  for (size_t i = 0; i < run.placement.threads.size(); ++i)
    text += "  " + DescribeThreadPlace(static_cast<uint32_t>(i), run.placement.threads[i]) + "\n";
  if (run.placement.sharesCores)
    text += "  note: more threads than cores: some threads share a core with another (hardware threads)\n";
  text += "  each thread's share of the caches";
  text += run.placement.sharesFromCounts ? " (from CPUID's counts of sharing processors; the system gave no cache sets):"
                                         : " (from the system's cache sets):";
  for (size_t level = 0; level < run.placement.shares.size() && level < record.machine.caches.size(); ++level)
    text += std::string(level ? ", " : " ") + record.machine.caches[level].name + " " + ByteSizeRange(run.placement.shares[level]);
  text += "\n  core clock per thread, measured on all threads at once after their widest kernel ran:";
  for (size_t i = 0; i < run.threadCoreHz.size(); ++i)
    text += std::string(i ? ", " : " ") + (run.threadCoreHz[i] != 0 ? FormatGigahertz(run.threadCoreHz[i]) : "?");
  return text + "\n";
}

std::string RunTable(const SurveyRecord& record, const SurveyRun& run) {
  const bool latency = record.latency.measured;
  // Each group's column as wide as its widest cell.
  size_t widths[kSurveyGroupCount] = {6, 6, 6};
  bool unstable = false;
  for (const SurveyLevel& level : run.levels)
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      widths[group] = std::max(widths[group], FigureCell(run, level.figures[group]).size() + 3);
      unstable = unstable || (run.passes > 1 && level.figures[group].present && FigureUnstable(level.figures[group]));
    }
  std::string text = Padded("level", 8) + Padded("size", 20) + Padded("read", widths[0]) + Padded("write", widths[1]) +
                     (latency ? Padded("copy", widths[2]) + "latency (1 thread)\n" : "copy\n");
  for (size_t index = 0; index < run.levels.size(); ++index) {
    const SurveyLevel& level = run.levels[index];
    std::string row = Padded(level.name, 8) + Padded(LevelSize(level), 20);
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      row += Padded(FigureCell(run, level.figures[group]), widths[group]);
    if (latency && index < record.latency.levels.size() && record.latency.levels[index].present)
      row += FormatLatency(record.latency.levels[index].rate, record.latency.coreHz);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    text += row + "\n";
    if (!level.absentReason.empty()) text += "        no figure: " + level.absentReason + "\n";
  }
  if (unstable)
    text += "* unstable: the figure's passes spread by more than " + std::to_string(unstableSpreadPercent) +
            "%; something disturbed the measurement (other programs, a clock change); more passes (--repeats " +
            std::to_string(2 * record.settings.repeats) + ") on a quieter machine steady it\n";
  return text;
}

// Per level and group: the rate of each thread count and its speed-up over
// the first run.
std::string ScalingTable(const SurveyRecord& record) {
  std::string text = "\nscaling (GB/s, and speed-up over " + std::to_string(record.runs[0].threads) +
                     (record.runs[0].threads == 1 ? " thread" : " threads") + "):\n" + Padded("level", 14);
  for (const SurveyRun& run : record.runs) text += Padded(std::to_string(run.threads) + " thr", 20);
  while (text.back() == ' ') text.pop_back();
  text += "\n";
  for (size_t level = 0; level < record.runs[0].levels.size(); ++level) {
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      const LevelFigure& base = record.runs[0].levels[level].figures[group];
      std::string row = Padded(record.runs[0].levels[level].name + " " + groupKeys[group], 14);
      for (const SurveyRun& run : record.runs) {
        const LevelFigure& figure = level < run.levels.size() ? run.levels[level].figures[group] : base;
        std::string cell = figure.present ? Fixed(figure.rate, 1000000000u, 2) : std::string("-");
        if (figure.present && base.present && base.rate != 0) cell += " (x" + Fixed(figure.rate, base.rate, 2) + ")";
        row += Padded(cell, 20);
      }
      while (!row.empty() && row.back() == ' ') row.pop_back();
      text += row + "\n";
    }
  }
  return text;
}
}  // namespace

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts) {
  const SurveySettings& settings = record.settings;
  const SurveyMachine& machine = record.machine;
  std::string text = "Lorvanta survey: " + machine.vendor + "\n";
  text += "caches (" + machine.cacheSource + "):\n";
  for (const std::string& line : machine.cacheDescriptions) text += "  " + line + "\n";
  if (!machine.cacheWarning.empty()) text += "warning: " + machine.cacheWarning + "\n";
  if (!machine.layoutSource.empty()) text += "processors and cache instances: " + machine.layoutSource + "\n";
  text += "clock: core " +
          (record.machine.coreHz != 0 ? FormatGigahertz(record.machine.coreHz) + " (measured before the runs, unbound)" : std::string("unknown")) +
          ", time-stamp counter " + FormatGigahertz(record.machine.tscHz) + "\n";
  const uint64_t largest = record.runs.empty() || record.runs[0].lengths.empty() ? 0 : record.runs[0].lengths.back();
  char line[256];
  std::snprintf(line, sizeof line,
                "lengths: %zu per thread from 2 KiB to %s, %u per doubling; each measurement at least %llu us, best of %u passes\n",
                record.runs.empty() ? size_t{0} : record.runs[0].lengths.size(), FormatByteSize(largest).c_str(),
                settings.pointsPerDoubling, static_cast<unsigned long long>(settings.minTimeNanoseconds / 1000),
                settings.repeats);
  text += line;
  if (facts.maxSizeCapped)
    text += "note: the largest length was capped so that every thread's two buffers fit in half of the " +
            FormatByteSize(facts.availableMemory) + " of free memory\n";
  if (!record.runs.empty()) {
    text += "kernels:";
    for (uint32_t index : record.runs[0].kernels) text += std::string(" ") + surveyKernels[index].name;
    text += "\n";
  }
  text += "figures: GB/s of all threads together (10^9 bytes per second), bytes per core cycle per thread, the "
          "spread over the passes ((highest - lowest) / highest), the kernel\n" + std::string(copyAccounting) + "\n";
  if (record.latency.measured)
    text += "latency: one thread alone" +
            (record.latency.placement.bound ? " on processor " + std::to_string(record.latency.placement.threads[0].processor)
                                            : std::string(", unbound")) +
            ", a random pointer chase over the block's lines; cycles at its core clock " +
            (record.latency.coreHz != 0 ? FormatGigahertz(record.latency.coreHz) : std::string("?")) + "\n";
  for (const SurveyRun& run : record.runs) text += "\n" + RunHead(record, run, facts) + RunTable(record, run);
  if (record.runs.size() > 1) text += ScalingTable(record);
  std::snprintf(line, sizeof line, "\nsurvey took %llu.%01llu s\n",
                static_cast<unsigned long long>(facts.elapsedMilliseconds / 1000),
                static_cast<unsigned long long>(facts.elapsedMilliseconds % 1000 / 100));
  return text + line;
}

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
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) entry[groupKeys[group]] = FigureJson(run, level.figures[group]);
    if (!level.absentReason.empty()) entry["absent_reason"] = level.absentReason;
    levels.push_back(entry);
  }
  Json curves = {{"lengths_bytes", run.lengths}};
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    Json kernels = Json::array();
    for (uint32_t index : run.bestKernels[group]) kernels.push_back(surveyKernels[index].name);
    curves[groupKeys[group]] = {{"best_bytes_per_second", run.bestRates[group]}, {"best_kernel", kernels}};
  }
  Json perKernel = Json::object();
  const size_t lengthCount = run.lengths.size();
  for (size_t slot = 0; slot < run.kernels.size(); ++slot) {
    const SurveyKernel& kernel = surveyKernels[run.kernels[slot]];
    perKernel[kernel.name] = {
        {"group", groupKeys[kernel.group]}, {"isa", IsaName(kernel.isa)},
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
  const Json document = {
      {"mode", "survey"},
      {"processor", {{"vendor", record.machine.vendor}}},
      {"topology", {{"source", record.machine.cacheSource}, {"caches", caches},
                    {"os_disagrees", record.machine.cacheWarning.empty() ? Json() : Json(record.machine.cacheWarning)},
                    {"layout_source", record.machine.layoutSource}}},
      {"clocks", {{"core_hz", record.machine.coreHz}, {"tsc_hz", record.machine.tscHz}}},
      {"settings", {{"max_size_bytes", settings.maxSize}, {"max_size_capped", facts.maxSizeCapped},
                    {"points_per_doubling", settings.pointsPerDoubling},
                    {"min_time_ns", settings.minTimeNanoseconds}, {"repeats", settings.repeats},
                    {"huge_pages", settings.hugePages}}},
      {"pages", {{"transparent_huge_pages", facts.transparentHugePages.empty() ? Json() : Json(facts.transparentHugePages)},
                 {"huge_pages_asked", settings.hugePages}}},
      {"copy_bytes_counted", copyAccounting},
      {"runs", runs},
      {"latency", LatencyJson(record)},
      {"elapsed_ms", facts.elapsedMilliseconds}};
  return document.dump(2) + "\n";
}

std::string FormatSurveyCsv(const SurveyRecord& record) {
  std::string text = std::string("# ") + copyAccounting + "\nthreads,length_bytes,level";
  for (const char* group : groupKeys)
    text += std::string(",best_") + group + "_bytes_per_second,best_" + group + "_kernel";
  if (!record.runs.empty())
    for (uint32_t index : record.runs[0].kernels) text += std::string(",") + surveyKernels[index].name + "_bytes_per_second";
  if (record.latency.measured) text += ",latency_picoseconds_1_thread";
  text += "\n";
  const std::vector<std::string> names = SurveyLevelNames(record.machine.caches);
  for (const SurveyRun& run : record.runs) {
    const size_t lengthCount = run.lengths.size();
    const std::vector<LevelWindow> windows = SurveyRunWindows(run);
    for (size_t i = 0; i < lengthCount; ++i) {
      text += std::to_string(run.threads) + "," + std::to_string(run.lengths[i]) + "," +
              LevelOfLength(windows, names, run.lengths[i]);
      for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
        text += "," + std::to_string(run.bestRates[group][i]) + "," + surveyKernels[run.bestKernels[group][i]].name;
      for (size_t slot = 0; slot < run.kernels.size(); ++slot)
        text += "," + std::to_string(run.kernelRates[slot * lengthCount + i]);
      if (record.latency.measured)
        text += "," + (i < record.latency.picoseconds.size() ? std::to_string(record.latency.picoseconds[i]) : std::string());
      text += "\n";
    }
  }
  return text;
}
