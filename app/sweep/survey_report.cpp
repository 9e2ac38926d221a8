#include "app/sweep/survey_report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "survey/arithmetic.h"
#include "survey/lengths.h"

namespace {
const char* const groupNames[kSurveyGroupCount] = {"read", "write", "copy"};

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

// Rate, bytes per cycle and kernel, the numbers right-aligned so that the
// columns line up.
std::string FigureCell(const SurveyRecord& record, const LevelFigure& figure) {
  if (!figure.present) return "-";
  auto rightAligned = [](const std::string& text, size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
  };
  std::string cell = rightAligned(FormatGigabytesPerSecond(figure.rate), 11);
  if (record.coreHz != 0) cell += rightAligned(FormatBytesPerCycle(figure.rate, record.coreHz), 15);
  return cell + "  " + surveyKernels[figure.kernel].name;
}

std::string LevelSize(const SurveyLevel& level) {
  return level.sizeBytes != 0 ? FormatByteSize(level.sizeBytes) : ">= " + FormatByteSize(level.window.low + 1);
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

std::string LevelOfLength(const SurveyRecord& record, uint64_t length) {
  for (const SurveyCache& cache : record.caches)
    if (length <= cache.sizeBytes) return cache.name;
  return "memory";
}

namespace {
std::string ThreadsAndBinding(const SurveyRun& run) {
  std::string text = std::to_string(run.threads) + (run.threads == 1 ? " thread" : " threads");
  if (run.processors.empty()) return text + ", unbound";
  text += ", bound to processor" + std::string(run.processors.size() == 1 ? " " : "s ");
  for (size_t i = 0; i < run.processors.size(); ++i) text += (i ? "," : "") + std::to_string(run.processors[i]);
  return text;
}

std::string RunTable(const SurveyRecord& record, const SurveyRun& run) {
  const bool latency = !run.latencyPicoseconds.empty();
  // Each group's column as wide as its widest cell.
  size_t widths[kSurveyGroupCount] = {6, 6, 6};
  for (const SurveyLevel& level : run.levels)
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      widths[group] = std::max(widths[group], FigureCell(record, level.figures[group]).size() + 3);
  std::string text = Padded("level", 8) + Padded("size", 12) + Padded("read", widths[0]) + Padded("write", widths[1]) +
                     (latency ? Padded("copy", widths[2]) + "latency\n" : "copy\n");
  for (const SurveyLevel& level : run.levels) {
    std::string row = Padded(level.name, 8) + Padded(LevelSize(level), 12);
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      row += Padded(FigureCell(record, level.figures[group]), widths[group]);
    if (level.latency.present) row += FormatLatency(level.latency.rate, record.coreHz);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    text += row + "\n";
    if (!level.absentReason.empty()) text += "        no figure: " + level.absentReason + "\n";
  }
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
      std::string row = Padded(record.runs[0].levels[level].name + " " + groupNames[group], 14);
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
  std::string text = "Lorvanta survey: " + facts.vendor + "\n";
  text += "caches (" + facts.topologySource + "):\n" + facts.cacheLines;
  if (!facts.topologyWarning.empty()) text += "warning: " + facts.topologyWarning + "\n";
  text += "clock: core " + (record.coreHz != 0 ? FormatGigahertz(record.coreHz) + " (measured)" : std::string("unknown")) +
          ", time-stamp counter " + FormatGigahertz(record.tscHz) + "\n";
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
  for (const SurveyRun& run : record.runs) {
    text += "\n" + ThreadsAndBinding(run) + "; buffers 2 x " + FormatByteSize(run.lengths.back()) + " per thread, " +
            (settings.hugePages ? FormatByteSize(run.hugePageBytes) + " of them on huge pages (asked for)"
                                : std::string("4 KiB pages (--huge-pages not given)")) + "\n";
    text += RunTable(record, run);
  }
  if (record.runs.size() > 1) text += ScalingTable(record);
  std::snprintf(line, sizeof line, "\nsurvey took %llu.%01llu s\n",
                static_cast<unsigned long long>(facts.elapsedMilliseconds / 1000),
                static_cast<unsigned long long>(facts.elapsedMilliseconds % 1000 / 100));
  return text + line;
}

namespace {
using Json = nlohmann::ordered_json;

Json RunJson(const SurveyRecord& record, const SurveyRun& run) {
  Json levels = Json::array();
  for (const SurveyLevel& level : run.levels) {
    Json entry = {{"name", level.name}, {"size_bytes", level.sizeBytes},
                  {"window_bytes", {{"above", level.window.low}, {"up_to", level.window.high == 0 ? Json() : Json(level.window.high)}}}};
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      const LevelFigure& figure = level.figures[group];
      if (!figure.present) {
        entry[groupNames[group]] = nullptr;
        continue;
      }
      entry[groupNames[group]] = {
          {"bytes_per_second", figure.rate},
          {"gb_per_second", static_cast<double>(figure.rate) / 1e9},
          {"bytes_per_cycle", record.coreHz != 0 ? Json(static_cast<double>(figure.rate) / record.coreHz) : Json()},
          {"kernel", surveyKernels[figure.kernel].name},
          {"lengths", figure.lengthCount}};
    }
    if (!level.absentReason.empty()) entry["absent_reason"] = level.absentReason;
    if (level.latency.present)
      entry["latency"] = {{"picoseconds", level.latency.rate},
                          {"ns", static_cast<double>(level.latency.rate) / 1000},
                          {"core_cycles", record.coreHz != 0 ? Json(static_cast<double>(level.latency.rate) * record.coreHz / 1e12) : Json()}};
    levels.push_back(entry);
  }
  Json curves = {{"lengths_bytes", run.lengths}};
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    Json kernels = Json::array();
    for (uint32_t index : run.bestKernels[group]) kernels.push_back(surveyKernels[index].name);
    curves[groupNames[group]] = {{"best_bytes_per_second", run.bestRates[group]}, {"best_kernel", kernels}};
  }
  Json perKernel = Json::object();
  const size_t lengthCount = run.lengths.size();
  for (size_t slot = 0; slot < run.kernels.size(); ++slot) {
    const SurveyKernel& kernel = surveyKernels[run.kernels[slot]];
    perKernel[kernel.name] = {
        {"group", groupNames[kernel.group]}, {"isa", IsaName(kernel.isa)},
        {"bytes_per_second", std::vector<uint64_t>(run.kernelRates.begin() + slot * lengthCount,
                                                   run.kernelRates.begin() + (slot + 1) * lengthCount)}};
  }
  curves["kernels"] = perKernel;
  if (!run.latencyPicoseconds.empty()) curves["latency_picoseconds"] = run.latencyPicoseconds;
  return {{"threads", run.threads},
          {"bound", !run.processors.empty()},
          {"processors", run.processors},
          {"buffers", {{"bytes_each", run.lengths.back()}, {"per_thread", 2}, {"huge_page_bytes", run.hugePageBytes}}},
          {"levels", levels},
          {"curves", curves}};
}
}  // namespace

std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts) {
  const SurveySettings& settings = record.settings;
  Json caches = Json::array();
  for (const SurveyCache& cache : record.caches)
    caches.push_back({{"name", cache.name}, {"size_bytes", cache.sizeBytes}, {"line_bytes", cache.lineSize},
                      {"shared_by", cache.sharedBy}});
  Json runs = Json::array();
  for (const SurveyRun& run : record.runs) runs.push_back(RunJson(record, run));
  const Json document = {
      {"mode", "survey"},
      {"processor", {{"vendor", facts.vendor}}},
      {"topology", {{"source", facts.topologySource}, {"caches", caches},
                    {"os_disagrees", facts.topologyWarning.empty() ? Json() : Json(facts.topologyWarning)}}},
      {"clocks", {{"core_hz", record.coreHz}, {"tsc_hz", record.tscHz}}},
      {"settings", {{"max_size_bytes", settings.maxSize}, {"max_size_capped", facts.maxSizeCapped},
                    {"points_per_doubling", settings.pointsPerDoubling},
                    {"min_time_ns", settings.minTimeNanoseconds}, {"repeats", settings.repeats},
                    {"huge_pages", settings.hugePages}}},
      {"runs", runs},
      {"elapsed_ms", facts.elapsedMilliseconds}};
  return document.dump(2) + "\n";
}

std::string FormatSurveyCsv(const SurveyRecord& record) {
  std::string text = "threads,length_bytes,level";
  for (const char* group : groupNames)
    text += std::string(",best_") + group + "_bytes_per_second,best_" + group + "_kernel";
  if (!record.runs.empty())
    for (uint32_t index : record.runs[0].kernels) text += std::string(",") + surveyKernels[index].name + "_bytes_per_second";
  if (record.settings.latency) text += ",latency_picoseconds";
  text += "\n";
  for (const SurveyRun& run : record.runs) {
    const size_t lengthCount = run.lengths.size();
    for (size_t i = 0; i < lengthCount; ++i) {
      text += std::to_string(run.threads) + "," + std::to_string(run.lengths[i]) + "," +
              LevelOfLength(record, run.lengths[i]);
      for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
        text += "," + std::to_string(run.bestRates[group][i]) + "," + surveyKernels[run.bestKernels[group][i]].name;
      for (size_t slot = 0; slot < run.kernels.size(); ++slot)
        text += "," + std::to_string(run.kernelRates[slot * lengthCount + i]);
      if (!run.latencyPicoseconds.empty()) text += "," + std::to_string(run.latencyPicoseconds[i]);
      text += "\n";
    }
  }
  return text;
}
