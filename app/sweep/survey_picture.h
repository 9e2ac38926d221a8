// The survey's picture for the headless tool, in the format its file's
// extension names (picture_file.h).
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "app/sweep/picture_file.h"
#include "display/survey_chart.h"
#include "platform/os.h"
#include "survey/survey.h"

// The chart data of a run (its curves, the caches' marks, the per-level
// figures) and of the latency where it has the run's lengths, with the texts
// and rows the data points at. The data also points into the run and the
// latency, which must outlive it; the source is filled in place and never
// copied, so its pointers stay valid.
struct SurveyChartSource {
  std::deque<std::wstring> texts;
  std::vector<SurveyChartLevel> marks;
  std::vector<SurveyChartFigure> figures;
  SurveyChartData data{};
  SurveyChartSource() = default;
  SurveyChartSource(const SurveyChartSource&) = delete;
  SurveyChartSource& operator=(const SurveyChartSource&) = delete;
};
void BuildSurveyChartSource(const SurveyRun& run, const SurveyLatency& latency, const std::string& title,
                            SurveyChartSource* source);

// The picture's title for a run: vendor, threads, bound or not, core clock
// and the time-stamp counter's rate.
std::string SurveyPictureTitle(const SurveyMachine& machine, const SurveyRun& run);

// Paints the survey picture of data at width x height off-screen and writes
// it in format into file, just created at path, which is closed. On failure
// the file is removed and the result is false.
bool WriteSurveyPicture(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                        const SurveyChartData& data);

// The last run of record (the largest thread count of a list) as the survey
// picture: its curves, the caches' marks and the per-level figures.
bool WriteSurveyRecordPicture(const SurveyRecord& record, const std::string& title, FileHandle file, const char* path,
                              PictureFormat format, int32_t width, int32_t height);
