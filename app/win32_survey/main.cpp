// LorvantaSurvey.exe: the survey of the memory hierarchy on the Windows
// desktop, its picture filling in as the passes run. The command line is not
// read: the program has no arguments.
#include <windows.h>

#include "app/win32_survey/survey_frame.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return RunSurveyFrame(instance, showCommand);
}
