// The survey window on Win32: a resizable top-level window with the menu bar
// and keys of the resource script, painted through the GDI canvas into an
// off-screen bitmap. It only translates the window's messages into the survey
// window behaviour (app/survey_window/) and gives that behaviour its
// SurveyWindowPort.
#pragma once
#include <windows.h>

// Creates and shows the window, runs the message loop until the behaviour
// ends it and returns its result.
int RunSurveyFrame(HINSTANCE instance, int showCommand);
