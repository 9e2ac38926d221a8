// The survey window's picture: a context line and a progress line above the
// survey picture of the run being measured (or the last finished one).
#include <string>

#include "app/survey_window/survey_window.h"
#include "app/sweep/run_control.h"
#include "app/sweep/survey_picture.h"
#include "display/quantity_text.h"

namespace {
constexpr int32_t kMargin = 6;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The processor, the threads and the date the survey started.
std::string ContextLine(const SurveySnapshot& snapshot) {
  const SurveyMachine& machine = snapshot.record.machine;
  if (snapshot.facts.dateUtc.empty()) return "Probing the machine...";
  const std::string processor = !machine.identity.brand.empty() ? machine.identity.brand : machine.identity.vendor;
  const size_t processors = machine.layout.processors.size();
  return processor + " - " + std::to_string(processors) + (processors == 1 ? " processor" : " processors") +
         " - started " + snapshot.facts.dateUtc;
}

// Where the survey is: its stage, pass, the length reached, the percentage
// and the time left; or how it ended.
std::string ProgressLine(const SurveySnapshot& snapshot) {
  if (snapshot.ended) {
    if (!snapshot.error.empty()) return "Could not measure: " + snapshot.error;
    const std::string took = MinutesSeconds(snapshot.facts.elapsedMilliseconds);
    if (snapshot.outcome == SurveyStopped)
      return "Stopped after " + took +
             (snapshot.record.runs.empty() ? "; no run finished" : "; the finished runs stay");
    return "Finished in " + took;
  }
  if (!snapshot.partialRun && !snapshot.partialLatency) return "Starting...";
  std::string line = "Stage " + std::to_string(snapshot.stage) + " of " + std::to_string(snapshot.stageCount) + ": ";
  if (snapshot.partialLatency)
    line += "latency";
  else
    line += std::to_string(snapshot.run.threads) + (snapshot.run.threads == 1 ? " thread" : " threads") + ", pass " +
            std::to_string(snapshot.pass) + " of " + std::to_string(snapshot.passes);
  return line + ", " + ByteSizeText(snapshot.length) + " reached, " + std::to_string(snapshot.percent) +
         "%, about " + MinutesSeconds(snapshot.remainingMilliseconds) + " left";
}

void TextLine(const Canvas& canvas, int32_t x, int32_t y, const std::string& text) {
  const std::wstring wide = Wide(text);
  canvas.DrawString(canvas.context, x, y, wide.c_str(), static_cast<int32_t>(wide.size()));
}
}  // namespace

void PaintSurveyWindow(SurveyWindow& window, const Canvas& canvas, const Rect& area) {
  const std::shared_ptr<const SurveySnapshot> taken = CurrentSurveySnapshot(window.session);
  const SurveySnapshot empty;
  const SurveySnapshot& snapshot = taken != nullptr ? *taken : empty;
  const SurveyChartStyle style = DisplaySurveyChartStyle();

  canvas.ClipToRect(canvas.context, area);
  canvas.FillBackground(canvas.context, area);
  canvas.SetTransparentText(canvas.context);
  canvas.SetTextColour(canvas.context, MakeColour(0, 0, 0));
  canvas.SelectFont(canvas.context, style.panelFont);
  const int32_t row = canvas.MeasureText(canvas.context, L"Ag", 2).cy + 2;
  const int32_t x = area.left + kMargin;
  int32_t y = area.top + kMargin / 2;
  if (taken == nullptr) {
    TextLine(canvas, x, y, "Survey > Start (Ctrl+R) measures every level of the memory hierarchy.");
    return;
  }
  TextLine(canvas, x, y, ContextLine(snapshot));
  TextLine(canvas, x, y + row, ProgressLine(snapshot));
  y += 2 * row + kMargin / 2;

  // The run being measured, else the last finished one; the latency being
  // chased, else the measured one.
  const SurveyRun* run = snapshot.partialRun               ? &snapshot.run
                         : !snapshot.record.runs.empty() ? &snapshot.record.runs.back()
                                                         : nullptr;
  if (run == nullptr) return;
  const SurveyLatency& latency = snapshot.partialLatency ? snapshot.latency : snapshot.record.latency;
  SurveyChartSource source;
  BuildSurveyChartSource(*run, latency, SurveyPictureTitle(snapshot.record.machine, *run), &source);
  PaintSurveyChart(canvas, Rect{area.left, y, area.right, area.bottom}, source.data, style);
}
