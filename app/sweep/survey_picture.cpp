#include "app/sweep/survey_picture.h"

#include <vector>

#include "app/screenshot_file.h"
#include "platform/cairo/cairo_canvas.h"

bool WriteSurveyPicture(FileHandle file, const char* path, int32_t width, int32_t height, const SurveyChartData& data) {
  cairo_surface_t* image = nullptr;
  if (width > 0 && height > 0) {
    image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(image);
      image = nullptr;
    }
  }
  if (image == nullptr) {
    CloseFile(file);
    RemoveFile(path);
    return false;
  }
  CreateDisplayFonts(96);
  cairo_t* cr = cairo_create(image);
  Canvas canvas = BeginCairoCanvas(cr);
  PaintSurveyChart(canvas, Rect{0, 0, width, height}, data, DisplaySurveyChartStyle());
  EndCairoCanvas(canvas);
  cairo_destroy(cr);
  DestroyDisplayFonts();
  cairo_surface_flush(image);

  const PixelRows rows = {cairo_image_surface_get_data(image), width, height, cairo_image_surface_get_stride(image)};
  const bool written = WriteBmpFile(file, path, rows);
  cairo_surface_destroy(image);
  return written;
}

bool WriteSurveyRecordPicture(const SurveyRecord& record, const std::string& title, FileHandle file, const char* path,
                              int32_t width, int32_t height) {
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
  return WriteSurveyPicture(file, path, width, height, data);
}
