// The end-to-end scenarios both desktop programs go through, written once
// over the few actions below. Each program's driver implements them: the
// Windows driver with window messages, the Linux one with keys typed on the
// program's X display.
#pragma once
#include <set>
#include <string>

#include "tests/support/screenshot_checks.h"

// Menu choices; the number picks within a group: block step 0..4 (1 to
// 16 KB), test area 0..3 (1 to 8 MB), refresh 0..4 (1 s to "Sofort").
enum Action { kBlockStep, kTestArea, kFast, kRefresh, kCacheMarks, kScreenshot, kPowerDefeat, kEnterAndEscape };

// Driver side.
void Act(Action action, int choice = 0);
void Pause(int milliseconds);
void ClientSize(int* width, int* height);
bool Resize(int width, int height);  // false where the window keeps its size
std::set<long> ProgramThreads();     // the program's threads that may be sweeps
void Close();                        // as the window's close button does
ButtonColours ProgramButtonColours();

// Runs the scenario "main" or "stress"; returns the exit code: 0 when every
// check passed, 2 for an unknown name.
int RunScenario(const std::string& name);
