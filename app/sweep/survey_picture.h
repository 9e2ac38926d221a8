// The survey's picture for the headless tool, in the format its file's
// extension names (picture_file.h).
#pragma once
#include <cstdint>
#include <string>

#include "app/sweep/picture_file.h"
#include "display/survey_chart.h"
#include "platform/os.h"
#include "survey/survey.h"

// Paints the survey picture of data at width x height off-screen and writes
// it in format into file, just created at path, which is closed. On failure
// the file is removed and the result is false.
bool WriteSurveyPicture(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                        const SurveyChartData& data);

// The last run of record (the largest thread count of a list) as the survey
// picture: its curves, the caches' marks and the per-level figures.
bool WriteSurveyRecordPicture(const SurveyRecord& record, const std::string& title, FileHandle file, const char* path,
                              PictureFormat format, int32_t width, int32_t height);
