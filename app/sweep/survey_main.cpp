// lorvanta-sweep --survey: the machine's facts, the run with progress on a
// terminal, then the table, CSV, JSON and picture.
#include "app/sweep/survey_main.h"

#include <cstdio>

#include "app/sweep/output_files.h"
#include "app/sweep/run_control.h"
#include "app/sweep/survey_options.h"
#include "app/sweep/survey_picture.h"
#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"
#include "app/tool_version.h"
#include "platform/os.h"
#include "survey/lengths.h"
#include "survey/survey_stages.h"
#include "survey/team.h"

namespace {
// The picture's name when --picture names no file.
constexpr NumberedNames kSurveyPictureNames = {"survey", "png"};

// Between measurements: on a terminal shows where the run is at most five
// times a second. A stop signal reaches the survey through its stop request.
bool OnSurveyProgress(const SurveyProgress& where, void* context) {
  uint64_t elapsed = 0;
  if (!ProgressLineDue(static_cast<ProgressDisplay*>(context), where.workDone == where.workTotal, &elapsed))
    return true;
  const uint64_t percent = where.workTotal == 0 ? 100 : where.workDone * 100 / where.workTotal;
  const uint64_t remaining =
      where.workDone == 0 ? 0 : elapsed * (where.workTotal - where.workDone) / where.workDone;
  const std::string phase =
      where.latency ? "latency" : "pass " + std::to_string(where.pass) + " of " + std::to_string(where.passes);
  std::fprintf(stderr, "\rsurvey: %s, %s reached, %llu%% of the estimated work, elapsed %s, about %s to go   ",
               phase.c_str(), ByteSizeText(where.length).c_str(), static_cast<unsigned long long>(percent),
               MinutesSeconds(elapsed).c_str(), MinutesSeconds(remaining).c_str());
  std::fflush(stderr);
  return true;
}

// A run retried without binding says so.
void OnRetryingUnbound(const std::string& reason, void*) {
  std::fprintf(stderr, "lorvanta-sweep: %s; running unbound (--no-bind)\n", reason.c_str());
}

// Each stage's progress line ends with its stage.
void OnStageEnded(void* context) {
  if (static_cast<ProgressDisplay*>(context)->terminal) std::fputs("\n", stderr);
}
}  // namespace

int RunSurveyTool(int argc, const char* const* argv) {
  SurveyToolOptions options;
  std::string error;
  if (!ParseSurveyOptions(argc, argv, &options, &error)) return RefuseInput(error + "\n(see --survey --help)");
  if (options.help) {
    std::fputs(SurveyUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("lorvanta-sweep %s\n", toolVersion);
    return 0;
  }
  if (options.picture && !PictureFormatWritable(options.pictureFormat, &error)) return RefuseInput(error);

  // probe the machine -> plan -> measure each run and the latency (each with
  // its levels) -> report.
  SurveyFacts facts;
  facts.dateUtc = UtcDateNow();
  facts.label = options.label;
  facts.labelGiven = options.labelGiven;
  SurveyRecord record;
  record.settings = options.settings;
  record.machine = ProbeSurveyMachine();
  const SurveyMachine& machine = record.machine;
  if ((machine.supportedIsas & record.settings.wantedIsas) == 0)
    return RefuseInput("this machine does not support --isa " + options.isaWord);

  // Threads: counts, and where they run over the machine's layout.
  const MachineLayout& layout = machine.layout;
  std::vector<uint32_t> threadCounts;
  const uint32_t available = layout.processors.empty() ? 1 : static_cast<uint32_t>(layout.processors.size());
  if (!ParseThreadCounts(options.threadsText, available, &threadCounts, &error)) return RefuseInput(error);
  if (!FitSurveyMaxSize("--max-size", threadCounts, &record, &facts.availableMemory, &facts.maxSizeCapped, &error)) return RefuseInput(error);

  CatchStopSignals();
  record.settings.stop = StopSignalRaised();
  ClaimedFile csv, picture;
  if (!options.csvPath.empty() && !ClaimOutputFile(options.csvPath, kNoNumberedNames, &csv, &error)) return RefuseInput(error);
  if (options.picture && !ClaimOutputFile(options.picturePath, kSurveyPictureNames, &picture, &error)) {
    AbandonOutputFile(&csv);
    return RefuseInput(error);
  }

  ProgressDisplay display{StandardErrorIsTerminal(), ReadPerformanceCounter(), 0};
  const SurveyStageCalls calls{OnSurveyProgress, &display, OnRetryingUnbound, OnStageEnded};
  SurveyOutcome outcome = RunSurveyStages(&record, threadCounts, options.noBind, calls, &error);
  facts.elapsedMilliseconds = MillisecondsSince(display.start);
  // A signal after the last stage's last look still stops: nothing is written.
  if (outcome == SurveyCompleted && StopSignal() != 0) outcome = SurveyStopped;
  if (outcome != SurveyCompleted) {
    AbandonOutputFile(&csv);
    AbandonOutputFile(&picture);
    if (outcome == SurveyStopped) {
      const int number = StopSignal();
      std::fprintf(stderr, "lorvanta-sweep: stopped by %s; nothing written\n", StopSignalName(number).c_str());
      return 128 + number;
    }
    if (outcome == SurveyNoThreads)
      std::fprintf(stderr, "lorvanta-sweep: %s%s\n", error.c_str(),
                   options.noBind || !SurveyTeamBindingFailed() ? "" : " (--no-bind runs the threads unbound)");
    else if (outcome == SurveyNoLengths)
      std::fprintf(stderr, "lorvanta-sweep: %s\n", error.c_str());
    else
      std::fputs("lorvanta-sweep: no kernel to run\n", stderr);
    return 1;
  }

  if (csv.handle != -1 && !CompleteOutputFile(&csv, FormatSurveyCsv(record))) {
    AbandonOutputFile(&picture);
    std::fputs("lorvanta-sweep: writing the CSV file failed; it was removed\n", stderr);
    return 1;
  }
  if (picture.handle != -1) {
    const FileHandle file = picture.handle;
    picture.handle = -1;
    const std::string title = SurveyPictureTitle(machine, record.runs.back());
    if (!WriteSurveyRecordPicture(record, title, file, picture.path.c_str(), options.pictureFormat,
                                  options.pictureWidth, options.pictureHeight)) {
      std::fputs("lorvanta-sweep: writing the picture failed; it was removed\n", stderr);
      return 1;
    }
    std::fprintf(stderr, "lorvanta-sweep: picture written to %s (%dx%d)\n", picture.path.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
  const std::string text = options.json ? FormatSurveyJson(record, facts) : FormatSurveyText(record, facts);
  std::fputs(text.c_str(), stdout);
  return 0;
}
