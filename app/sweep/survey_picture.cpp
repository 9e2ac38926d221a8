#include "app/sweep/survey_picture.h"

#include <vector>

namespace {

// The chart of the SurveyChartData at context, in the display's fonts and
// colours (the picture file has just created the fonts).
void PaintSurveyData(Canvas& canvas, Rect area, const void* context) {
  PaintSurveyChart(canvas, area, *static_cast<const SurveyChartData*>(context), DisplaySurveyChartStyle());
}

}  // namespace

bool WriteSurveyPicture(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                        const SurveyChartData& data) {
  return WritePictureFile(file, path, format, width, height, PaintSurveyData, &data);
}

bool WriteSurveyRecordPicture(const SurveyRecord& record, const std::string& title, FileHandle file, const char* path,
                              PictureFormat format, int32_t width, int32_t height) {
  // The picture shows the last run (the largest thread count of a list).
  const SurveyRun& run = record.runs.back();
  auto wide = [](const std::string& text) { return std::wstring(text.begin(), text.end()); };
  std::vector<std::wstring> texts;  // owns every text the chart data points at
  texts.reserve(5 * run.levels.size() + 2);
  // The marks stand where the table's windows come from: each thread's share
  // of every cache in this run.
  std::vector<SurveyChartLevel> marks;
  for (const SurveyLevel& level : run.levels) {
    if (level.share.smallest == 0) continue;
    texts.push_back(wide(level.name));
    marks.push_back(SurveyChartLevel{texts.back().c_str(), level.share.smallest});
  }
  std::vector<SurveyChartFigure> figures;
  const SurveyLatency& latency = record.latency;
  for (size_t index = 0; index < run.levels.size(); ++index) {
    const SurveyLevel& level = run.levels[index];
    SurveyChartFigure figure{};
    texts.push_back(wide(level.name));
    figure.levelName = texts.back().c_str();
    figure.sizeBytes = level.share.smallest;
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      if (!level.figures[group].present) continue;
      figure.rates[group] = level.figures[group].rate;
      texts.push_back(wide(surveyKernels[level.figures[group].kernel].name));
      figure.kernels[group] = texts.back().c_str();
    }
    if (index < latency.levels.size() && latency.levels[index].present)
      figure.latencyPicoseconds = latency.levels[index].rate;
    figures.push_back(figure);
  }
  texts.push_back(wide(title));
  SurveyChartData data{};
  data.lengths = run.lengths.data();
  data.lengthCount = static_cast<uint32_t>(run.lengths.size());
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group) data.rates[group] = run.bestRates[group].data();
  // The latency curve shares the runs' lengths: the same settings make them.
  const bool latencyFits = latency.measured && latency.picoseconds.size() == run.lengths.size();
  data.latencyPicoseconds = latencyFits ? latency.picoseconds.data() : nullptr;
  data.levels = marks.data();
  data.levelCount = static_cast<uint32_t>(marks.size());
  data.figures = figures.data();
  data.figureCount = static_cast<uint32_t>(figures.size());
  data.title = texts.back().c_str();
  return WriteSurveyPicture(file, path, format, width, height, data);
}
