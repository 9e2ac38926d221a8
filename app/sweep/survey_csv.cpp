// The survey's curves as CSV: a row per run and length, with the level the
// length belongs to, the best rate of each group and every kernel's rate.
#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"

std::string FormatSurveyCsv(const SurveyRecord& record) {
  std::string text = std::string("# ") + copyAccounting + "\nthreads,length_bytes,level";
  for (const char* group : surveyGroupWords)
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
