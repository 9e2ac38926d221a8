#include "app/survey_window/survey_window.h"

#include "app/sweep/survey_options.h"

const SurveyWordChoice surveyThreadChoices[] = {{"1 thread", "1"}, {"2 threads", "2"}, {"4 threads", "4"},
                                                {"All processors", "all"}, {"1, 2, 4 and all", "1,2,4,all"}};
const uint32_t surveyThreadChoiceCount = sizeof surveyThreadChoices / sizeof surveyThreadChoices[0];
const SurveyWordChoice surveyIsaChoices[] = {{"All", "all"}, {"MMX", "mmx"},   {"SSE", "sse"},
                                             {"SSE2", "sse2"}, {"AVX", "avx"}, {"AVX2", "avx2"},
                                             {"AVX-512", "avx512"}, {"rep movsb/stosb", "rep"}};
const uint32_t surveyIsaChoiceCount = sizeof surveyIsaChoices / sizeof surveyIsaChoices[0];
const SurveySizeChoice surveySizeChoices[] = {{"Default (from the caches)", 0},
                                              {"256 KiB", uint64_t{256} << 10},
                                              {"4 MiB", uint64_t{4} << 20},
                                              {"64 MiB", uint64_t{64} << 20},
                                              {"256 MiB", uint64_t{256} << 20},
                                              {"1 GiB", uint64_t{1} << 30}};
const uint32_t surveySizeChoiceCount = sizeof surveySizeChoices / sizeof surveySizeChoices[0];

namespace {
const char kTitle[] = "Lorvanta Survey";

// The marks of a group of choices: the chosen one's on, the others' off.
void MarkChoice(const SurveyWindowPort& port, uint32_t first, uint32_t count, uint32_t chosen) {
  for (uint32_t index = 0; index < count; ++index) port.CheckMenuItem(port.window, first + index, index == chosen);
}

uint32_t WordIndex(const SurveyWordChoice* choices, uint32_t count, const std::string& word) {
  for (uint32_t index = 0; index < count; ++index)
    if (word == choices[index].word) return index;
  return count;
}

uint32_t SizeIndex(uint64_t bytes) {
  for (uint32_t index = 0; index < surveySizeChoiceCount; ++index)
    if (bytes == surveySizeChoices[index].bytes) return index;
  return surveySizeChoiceCount;
}

// Start and the settings while no survey runs, Stop while one does; saving
// once a run has finished.
void UpdateMenu(SurveyWindow& window) {
  const SurveyWindowPort& port = window.port;
  const std::shared_ptr<const SurveySnapshot> snapshot = CurrentSurveySnapshot(window.session);
  const bool running = snapshot != nullptr && snapshot->running;
  const bool saveable = snapshot != nullptr && !snapshot->record.runs.empty();
  port.EnableMenuItem(port.window, kSurveyStart, !running);
  port.EnableMenuItem(port.window, kSurveyStop, running);
  for (uint32_t command : {kSurveySavePicture, kSurveySaveCsv, kSurveySaveJson})
    port.EnableMenuItem(port.window, command, saveable);
  port.EnableMenuItem(port.window, kSurveyHugePages, !running);
  port.EnableMenuItem(port.window, kSurveyLatency, !running);
  for (uint32_t index = 0; index < surveyThreadChoiceCount; ++index)
    port.EnableMenuItem(port.window, kSurveyThreadsFirst + index, !running);
  for (uint32_t index = 0; index < surveyIsaChoiceCount; ++index)
    port.EnableMenuItem(port.window, kSurveyIsaFirst + index, !running);
  for (uint32_t index = 0; index < surveySizeChoiceCount; ++index)
    port.EnableMenuItem(port.window, kSurveySizeFirst + index, !running);
  port.SetTitle(port.window, running ? std::string(kTitle) + " (measuring)" : kTitle);
}

void MarkSettings(SurveyWindow& window) {
  const SurveyWindowPort& port = window.port;
  const SurveyWindowSettings& chosen = window.settings;
  MarkChoice(port, kSurveyThreadsFirst, surveyThreadChoiceCount,
             WordIndex(surveyThreadChoices, surveyThreadChoiceCount, chosen.threadsText));
  MarkChoice(port, kSurveyIsaFirst, surveyIsaChoiceCount,
             WordIndex(surveyIsaChoices, surveyIsaChoiceCount, chosen.isaWord));
  MarkChoice(port, kSurveySizeFirst, surveySizeChoiceCount, SizeIndex(chosen.settings.maxSize));
  port.CheckMenuItem(port.window, kSurveyHugePages, chosen.settings.hugePages);
  port.CheckMenuItem(port.window, kSurveyLatency, chosen.settings.latency);
}

void Save(SurveyWindow& window, SurveyFileKind kind) {
  const std::shared_ptr<const SurveySnapshot> snapshot = CurrentSurveySnapshot(window.session);
  if (snapshot == nullptr || snapshot->record.runs.empty()) return;
  static const char* const names[] = {"survey.png", "survey.csv", "survey.json"};
  std::string path, error;
  if (!window.port.AskSavePath(window.port.window, kind, names[kind], &path)) return;
  if (!WriteSurveyFile(*snapshot, kind, path, &error)) window.port.ShowError(window.port.window, error);
}

// Changes a setting, only while no survey runs (the menu has them disabled
// then; a key could still reach a front end's item).
bool ChangeSetting(SurveyWindow& window, uint32_t command) {
  SurveyWindowSettings& chosen = window.settings;
  if (command >= kSurveyThreadsFirst && command < kSurveyThreadsFirst + surveyThreadChoiceCount)
    chosen.threadsText = surveyThreadChoices[command - kSurveyThreadsFirst].word;
  else if (command >= kSurveyIsaFirst && command < kSurveyIsaFirst + surveyIsaChoiceCount)
    chosen.isaWord = surveyIsaChoices[command - kSurveyIsaFirst].word;
  else if (command >= kSurveySizeFirst && command < kSurveySizeFirst + surveySizeChoiceCount)
    chosen.settings.maxSize = surveySizeChoices[command - kSurveySizeFirst].bytes;
  else if (command == kSurveyHugePages)
    chosen.settings.hugePages = !chosen.settings.hugePages;
  else if (command == kSurveyLatency)
    chosen.settings.latency = !chosen.settings.latency;
  else
    return false;
  return true;
}
}  // namespace

void SurveyWindowOpened(SurveyWindow& window) {
  MarkSettings(window);
  UpdateMenu(window);
  window.port.StartTimer(window.port.window, kSurveyRepaintTimer, kSurveyRepaintMilliseconds);
}

void SurveyWindowCommand(SurveyWindow& window, uint32_t command) {
  const SurveyWindowPort& port = window.port;
  const std::shared_ptr<const SurveySnapshot> snapshot = CurrentSurveySnapshot(window.session);
  const bool running = snapshot != nullptr && snapshot->running;
  switch (command) {
    case kSurveyStart:
      if (StartSurvey(window.session, window.settings)) UpdateMenu(window), port.Invalidate(port.window);
      return;
    case kSurveyStop:
      StopSurvey(window.session);
      UpdateMenu(window);
      port.Invalidate(port.window);
      return;
    case kSurveySavePicture:
    case kSurveySaveCsv:
    case kSurveySaveJson:
      Save(window, static_cast<SurveyFileKind>(command - kSurveySavePicture));
      return;
    case kSurveyQuit:
      SurveyWindowClose(window);
      return;
    default:
      if (!running && ChangeSetting(window, command)) MarkSettings(window);
  }
}

void SurveyWindowTimer(SurveyWindow& window, uint32_t timerId) {
  if (timerId != kSurveyRepaintTimer) return;
  const std::shared_ptr<const SurveySnapshot> snapshot = CurrentSurveySnapshot(window.session);
  if (snapshot == nullptr || snapshot->serial == window.invalidatedSerial) return;
  window.invalidatedSerial = snapshot->serial;
  // A survey that ended by itself: its thread is joined (it has returned),
  // the menu follows and a survey that could not run says why.
  if (!snapshot->running && SurveyWorkerExists(window.session)) {
    StopSurvey(window.session);
    if (!snapshot->error.empty()) window.port.ShowError(window.port.window, snapshot->error);
  }
  UpdateMenu(window);
  window.port.Invalidate(window.port.window);
}

void SurveyWindowClose(SurveyWindow& window) {
  StopSurvey(window.session);
  window.port.EndWindow(window.port.window, 0);
}

void SurveyWindowDestroyed(SurveyWindow& window) {
  window.port.KillTimer(window.port.window, kSurveyRepaintTimer);
  StopSurvey(window.session);
}
