// The survey mode of lorvanta-sweep.
#pragma once

// Runs lorvanta-sweep --survey with its command line; the process's exit code.
int RunSurveyTool(int argc, const char* const* argv);
