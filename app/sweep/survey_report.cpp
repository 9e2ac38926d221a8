#include "app/sweep/survey_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "survey/lengths.h"

namespace {
const char* const groupNames[kSurveyGroupCount] = {"read", "write", "copy"};

// whole.hundredths of value / unit, truncated.
std::string Hundredths(uint64_t value, uint64_t unit) {
  const uint64_t hundredths = unit == 0 ? 0 : value / (unit / 100);
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%02llu", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned long long>(hundredths % 100));
  return text;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string FigureCell(const SurveyRecord& record, const LevelFigure& figure) {
  if (!figure.present) return "-";
  std::string cell = FormatGigabytesPerSecond(figure.rate);
  if (record.coreHz != 0) cell += "  " + FormatBytesPerCycle(figure.rate, record.coreHz);
  return cell + "  " + surveyKernels[figure.kernel].name;
}

std::string LevelSize(const SurveyLevel& level) {
  return level.sizeBytes != 0 ? FormatByteSize(level.sizeBytes) : ">= " + FormatByteSize(level.window.low + 1);
}
}  // namespace

std::string FormatGigabytesPerSecond(uint64_t bytesPerSecond) {
  return Hundredths(bytesPerSecond, 1000000000u) + " GB/s";
}

std::string FormatBytesPerCycle(uint64_t bytesPerSecond, uint64_t coreHz) {
  if (coreHz == 0) return "? B/cycle";
  const uint64_t hundredths = bytesPerSecond / coreHz * 100 + bytesPerSecond % coreHz * 100 / coreHz;
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%02llu B/cycle", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned long long>(hundredths % 100));
  return text;
}

std::string FormatGigahertz(uint64_t hertz) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu GHz", static_cast<unsigned long long>(hertz / 1000000000u),
                static_cast<unsigned long long>(hertz / 1000000u % 1000u));
  return text;
}

std::string LevelOfLength(const SurveyRecord& record, uint64_t length) {
  for (const SurveyCache& cache : record.caches)
    if (length <= cache.sizeBytes) return cache.name;
  return "memory";
}

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts) {
  const SurveySettings& settings = record.settings;
  std::string text = "Lorvanta survey: " + facts.vendor + ", 1 thread\n";
  text += "caches (" + facts.topologySource + "):\n" + facts.cacheLines;
  if (!facts.topologyWarning.empty()) text += "warning: " + facts.topologyWarning + "\n";
  text += "clock: core " + (record.coreHz != 0 ? FormatGigahertz(record.coreHz) + " (measured)" : std::string("unknown")) +
          ", time-stamp counter " + FormatGigahertz(record.tscHz) + "\n";
  char line[256];
  std::snprintf(line, sizeof line,
                "lengths: %zu from 2 KiB to %s, %u per doubling; each measurement at least %llu us, best of %u\n",
                record.lengths.size(), FormatByteSize(record.lengths.empty() ? 0 : record.lengths.back()).c_str(),
                settings.pointsPerDoubling, static_cast<unsigned long long>(settings.minTimeNanoseconds / 1000),
                settings.repeats);
  text += line;
  if (facts.maxSizeCapped)
    text += "note: the largest length was capped so that both buffers fit in half of the " +
            FormatByteSize(facts.availableMemory) + " of free memory\n";
  text += "buffers: 2 x " + FormatByteSize(record.bufferBytes) + ", " +
          (settings.hugePages ? FormatByteSize(record.hugePageBytes) + " on huge pages (asked for)"
                              : std::string("4 KiB pages (--huge-pages not given)")) + "\n";
  text += "kernels:";
  for (uint32_t index : record.kernels) text += std::string(" ") + surveyKernels[index].name;
  text += "\n\n";

  text += Padded("level", 8) + Padded("size", 12) + Padded("read", 42) + Padded("write", 42) + "copy\n";
  for (const SurveyLevel& level : record.levels) {
    std::string row = Padded(level.name, 8) + Padded(LevelSize(level), 12);
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      row += Padded(FigureCell(record, level.figures[group]), 42);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    text += row + "\n";
    if (!level.absentReason.empty()) text += "        no figure: " + level.absentReason + "\n";
  }
  std::snprintf(line, sizeof line, "\nsurvey took %llu.%01llu s\n",
                static_cast<unsigned long long>(facts.elapsedMilliseconds / 1000),
                static_cast<unsigned long long>(facts.elapsedMilliseconds % 1000 / 100));
  return text + line;
}

std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts) {
  using Json = nlohmann::ordered_json;
  const SurveySettings& settings = record.settings;
  Json caches = Json::array();
  for (const SurveyCache& cache : record.caches)
    caches.push_back({{"name", cache.name}, {"size_bytes", cache.sizeBytes}, {"line_bytes", cache.lineSize},
                      {"shared_by", cache.sharedBy}});
  Json levels = Json::array();
  for (const SurveyLevel& level : record.levels) {
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
    levels.push_back(entry);
  }
  Json curves = {{"lengths_bytes", record.lengths}};
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
    Json kernels = Json::array();
    for (uint32_t index : record.bestKernels[group]) kernels.push_back(surveyKernels[index].name);
    curves[groupNames[group]] = {{"best_bytes_per_second", record.bestRates[group]}, {"best_kernel", kernels}};
  }
  Json perKernel = Json::object();
  const size_t lengthCount = record.lengths.size();
  for (size_t slot = 0; slot < record.kernels.size(); ++slot) {
    const SurveyKernel& kernel = surveyKernels[record.kernels[slot]];
    perKernel[kernel.name] = {
        {"group", groupNames[kernel.group]}, {"isa", IsaName(kernel.isa)},
        {"bytes_per_second", std::vector<uint64_t>(record.kernelRates.begin() + slot * lengthCount,
                                                   record.kernelRates.begin() + (slot + 1) * lengthCount)}};
  }
  curves["kernels"] = perKernel;
  const Json document = {
      {"mode", "survey"},
      {"processor", {{"vendor", facts.vendor}}},
      {"topology", {{"source", facts.topologySource}, {"caches", caches},
                    {"os_disagrees", facts.topologyWarning.empty() ? Json() : Json(facts.topologyWarning)}}},
      {"clocks", {{"core_hz", record.coreHz}, {"tsc_hz", record.tscHz}}},
      {"settings", {{"max_size_bytes", settings.maxSize}, {"max_size_capped", facts.maxSizeCapped},
                    {"points_per_doubling", settings.pointsPerDoubling},
                    {"min_time_ns", settings.minTimeNanoseconds}, {"repeats", settings.repeats},
                    {"huge_pages", settings.hugePages}, {"threads", 1}}},
      {"buffers", {{"bytes_each", record.bufferBytes}, {"huge_page_bytes", record.hugePageBytes}}},
      {"levels", levels},
      {"curves", curves},
      {"elapsed_ms", facts.elapsedMilliseconds}};
  return document.dump(2) + "\n";
}

std::string FormatSurveyCsv(const SurveyRecord& record) {
  std::string text = "length_bytes,level";
  for (const char* group : groupNames)
    text += std::string(",best_") + group + "_bytes_per_second,best_" + group + "_kernel";
  for (uint32_t index : record.kernels) text += std::string(",") + surveyKernels[index].name + "_bytes_per_second";
  text += "\n";
  const size_t lengthCount = record.lengths.size();
  for (size_t i = 0; i < lengthCount; ++i) {
    text += std::to_string(record.lengths[i]) + "," + LevelOfLength(record, record.lengths[i]);
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      text += "," + std::to_string(record.bestRates[group][i]) + "," + surveyKernels[record.bestKernels[group][i]].name;
    for (size_t slot = 0; slot < record.kernels.size(); ++slot)
      text += "," + std::to_string(record.kernelRates[slot * lengthCount + i]);
    text += "\n";
  }
  return text;
}
