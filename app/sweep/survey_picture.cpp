#include "app/sweep/survey_picture.h"

#include <vector>

#include "display/quantity_text.h"

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

void BuildSurveyChartSource(const SurveyRun& run, const SurveyLatency& latency, const std::string& title,
                            SurveyChartSource* source) {
  auto text = [source](const std::string& narrow) {
    source->texts.push_back(std::wstring(narrow.begin(), narrow.end()));
    return source->texts.back().c_str();
  };
  // The marks stand where the table's windows come from: each thread's share
  // of every cache in this run.
  for (const SurveyLevel& level : run.levels) {
    if (level.share.smallest == 0) continue;
    source->marks.push_back(SurveyChartLevel{text(level.name), level.share.smallest});
  }
  for (size_t index = 0; index < run.levels.size(); ++index) {
    const SurveyLevel& level = run.levels[index];
    SurveyChartFigure figure{};
    figure.levelName = text(level.name);
    figure.sizeBytes = level.share.smallest;
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      if (!level.figures[group].present) continue;
      figure.rates[group] = level.figures[group].rate;
      figure.kernels[group] = text(surveyKernels[level.figures[group].kernel].name);
      if (run.passes > 1) figure.spreadPercents[group] = SpreadPercent(level.figures[group]);
    }
    if (index < latency.levels.size() && latency.levels[index].present)
      figure.latencyPicoseconds = latency.levels[index].rate;
    source->figures.push_back(figure);
  }
  SurveyChartData& data = source->data;
  data.lengths = run.lengths.data();
  data.lengthCount = static_cast<uint32_t>(run.lengths.size());
  for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
    data.rates[group] = run.bestRates[group].size() == run.lengths.size() ? run.bestRates[group].data() : nullptr;
  // The latency curve shares the runs' lengths: the same settings make them.
  const bool latencyFits = latency.measured && latency.picoseconds.size() == run.lengths.size();
  data.latencyPicoseconds = latencyFits ? latency.picoseconds.data() : nullptr;
  data.levels = source->marks.data();
  data.levelCount = static_cast<uint32_t>(source->marks.size());
  data.figures = source->figures.data();
  data.figureCount = static_cast<uint32_t>(source->figures.size());
  data.title = title.empty() ? nullptr : text(title);
}

std::string SurveyPictureTitle(const SurveyMachine& machine, const SurveyRun& run) {
  return machine.identity.vendor + " - " + std::to_string(run.threads) + (run.threads == 1 ? " thread" : " threads") +
         (run.placement.bound ? ", bound" : ", unbound") + " - core " +
         (run.coreHz != 0 ? GigahertzText(run.coreHz) : std::string("?")) + " - TSC " + GigahertzText(machine.tscHz);
}

bool WriteSurveyRecordPicture(const SurveyRecord& record, const std::string& title, FileHandle file, const char* path,
                              PictureFormat format, int32_t width, int32_t height) {
  // The picture shows the last run (the largest thread count of a list).
  SurveyChartSource source;
  BuildSurveyChartSource(record.runs.back(), record.latency, title, &source);
  return WriteSurveyPicture(file, path, format, width, height, source.data);
}
