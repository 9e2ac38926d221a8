// The machine facts the survey needs: caches, supported instruction sets and
// clocks, and the survey's picture where a drawing backend exists.
#pragma once
#include <string>

#include "app/sweep/survey_report.h"
#include "platform/os.h"
#include "survey/survey.h"

// Fills record's caches, supported instruction sets, time-stamp counter and
// core clock, and facts' vendor and cache description.
void ProbeSurveyMachine(SurveyRecord* record, SurveyFacts* facts);

// Writes the survey's picture into file, just created at path; false (and the
// file removed) on failure or where the build has no picture backend.
bool WriteSurveyPictureFile(const SurveyRecord& record, const SurveyFacts& facts, FileHandle file, const char* path,
                            int32_t width, int32_t height);
