// The survey window's behaviour, written once for every front end: what each
// menu command, timer tick, paint, close and destroy does to the survey
// session, the menu and the picture. A front end (GTK now, Win32 later) fills
// a SurveyWindowPort and translates its events into these calls.
#pragma once
#include <cstdint>
#include <string>

#include "app/survey_window/survey_session.h"
#include "display/canvas.h"

// The repaint timer: every 200 ms the window is invalidated when the survey
// published something new, so the picture is redrawn at most five times a
// second.
constexpr uint32_t kSurveyRepaintTimer = 1;
constexpr uint32_t kSurveyRepaintMilliseconds = 200;

// Menu commands. The settings' choices are a first command plus the choice's
// index in its table below.
enum SurveyCommand : uint32_t {
  kSurveyStart = 100,
  kSurveyStop,
  kSurveySavePicture,
  kSurveySaveCsv,
  kSurveySaveJson,
  kSurveyQuit,
  kSurveyHugePages,
  kSurveyLatency,
  kSurveyThreadsFirst = 200,
  kSurveyIsaFirst = 300,
  kSurveySizeFirst = 400,
};

// The settings' menu choices: a label and the value it stands for.
struct SurveyWordChoice {
  const char* label;
  const char* word;  // as the headless tool's --threads or --isa takes it
};
struct SurveySizeChoice {
  const char* label;
  uint64_t bytes;  // 0: the default, chosen from the caches and the free memory
};
extern const SurveyWordChoice surveyThreadChoices[];
extern const uint32_t surveyThreadChoiceCount;
extern const SurveyWordChoice surveyIsaChoices[];
extern const uint32_t surveyIsaChoiceCount;
extern const SurveySizeChoice surveySizeChoices[];
extern const uint32_t surveySizeChoiceCount;

enum SurveyFileKind { SurveyPictureFile, SurveyCsvFile, SurveyJsonFile };

// What the behaviour needs from a platform window.
struct SurveyWindowPort {
  void* window;
  // Invalidates the whole drawing area; the front end paints it later.
  void (*Invalidate)(void* window);
  void (*StartTimer)(void* window, uint32_t timerId, uint32_t periodMilliseconds);
  void (*KillTimer)(void* window, uint32_t timerId);
  void (*EnableMenuItem)(void* window, uint32_t command, bool enabled);
  // Sets a check item's mark, or a radio item's (the others of its group
  // are cleared by the behaviour's own calls).
  void (*CheckMenuItem)(void* window, uint32_t command, bool checked);
  // Shows the system's save dialog for a file of kind, proposing name; the
  // dialog asks before an existing file is replaced. False when cancelled.
  bool (*AskSavePath)(void* window, SurveyFileKind kind, const std::string& name, std::string* path);
  void (*ShowError)(void* window, const std::string& message);
  void (*SetTitle)(void* window, const std::string& title);
  void (*EndWindow)(void* window, int result);
};

// The window's state: its port, the chosen settings, the survey session and
// the snapshot the screen was last invalidated for.
struct SurveyWindow {
  SurveyWindowPort port;
  SurveyWindowSettings settings;
  SurveySession session;
  uint64_t invalidatedSerial = 0;
};

// After the window exists: the menu's marks and enabled items for the
// settings, the title, and the repaint timer.
void SurveyWindowOpened(SurveyWindow& window);
// Every command acts on the current state; unknown commands do nothing.
void SurveyWindowCommand(SurveyWindow& window, uint32_t command);
void SurveyWindowTimer(SurveyWindow& window, uint32_t timerId);
// The close request: ends a running survey (waiting for its thread) and ends
// the window with 0. Nothing is written.
void SurveyWindowClose(SurveyWindow& window);
// The window is going away: the timer killed, any survey ended.
void SurveyWindowDestroyed(SurveyWindow& window);
// Paints area from the survey's current snapshot: the context line, the
// progress line and the survey picture below them.
void PaintSurveyWindow(SurveyWindow& window, const Canvas& canvas, const Rect& area);

// Writes snapshot's finished survey as kind to path through a temporary
// file in the same directory, renamed over path once complete: a failure
// leaves path as it was and no temporary file. False with one line in error.
bool WriteSurveyFile(const SurveySnapshot& snapshot, SurveyFileKind kind, const std::string& path,
                     std::string* error);
