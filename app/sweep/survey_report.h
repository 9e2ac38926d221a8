// What the survey prints and writes: the table a person reads
// (survey_table.cpp), the JSON for programs (survey_json.cpp), the CSV of
// every kernel's curve (survey_csv.cpp). All from the survey's record; their
// numbers come from survey_quantities.h.
#pragma once
#include <cstdint>
#include <string>

#include "app/sweep/machine_context.h"
#include "survey/survey.h"

// Facts of the run that the record does not hold, beside its context.
struct SurveyFacts : RunContext {
  bool maxSizeCapped = false;
  uint64_t availableMemory = 0;
  uint64_t elapsedMilliseconds = 0;
};

// "read", "write", "copy"
extern const char* const surveyGroupWords[kSurveyGroupCount];
// The advice for a level without a figure ("raise --max-size to 256 MiB").
std::string SurveyAbsenceAdvice(const SurveyLevel& level);

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyJson(const SurveyRecord& record, const SurveyFacts& facts);
std::string FormatSurveyCsv(const SurveyRecord& record);
