// The machine facts the survey needs: caches, supported instruction sets and
// clocks.
#pragma once
#include <string>

#include "app/sweep/survey_report.h"
#include "survey/survey.h"

// Fills record's caches, supported instruction sets, time-stamp counter and
// core clock, and facts' vendor and cache description.
void ProbeSurveyMachine(SurveyRecord* record, SurveyFacts* facts);

// The machine's layout as the system gives it (hwloc, Windows' processor
// information), or from CPUID's counts where it gives none; facts' layout
// source says which.
MachineLayout ProbeMachineLayout(const SurveyRecord& record, SurveyFacts* facts);
