// lorvanta-sweep: runs the benchmark's sweeps without a window, with the
// settings the menu offers, and prints the panel's figures.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/power_defeat.h"
#include "app/sweep/compare_main.h"
#include "app/sweep/core_to_core_main.h"
#include "app/sweep/core_to_core_options.h"
#include "app/sweep/loaded_latency_main.h"
#include "app/sweep/loaded_latency_options.h"
#include "app/sweep/compare_options.h"
#include "app/sweep/options.h"
#include "app/sweep/output_files.h"
#include "app/sweep/picture.h"
#include "app/sweep/report.h"
#include "app/sweep/survey_main.h"
#include "app/sweep/survey_options.h"
#include "app/tool_version.h"
#include "measure/sweep.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "probe/topology.h"
#include "record/state.h"


namespace {
// The tool's stand-in for the window: the sweep's completion notice.
struct ToolWindow {
  EventHandle done;
};

volatile std::sig_atomic_t interrupted = 0;
void OnInterrupt(int) { interrupted = 1; }

int UsageError(const std::string& message) {
  std::fprintf(stderr, "lorvanta-sweep: %s\n%s", message.c_str(), sweepToolUsage);
  return 2;
}

void ShowProgress(uint32_t sweep, uint32_t sweeps, uint64_t startCounter) {
  const uint32_t blocks = BlockCount();
  uint32_t block = LoadWhole32(&measurementState.sweepBlockIndex);
  if (block >= blocks) block = blocks - 1;
  const uint64_t elapsed = (ReadPerformanceCounter() - startCounter) * 1000 / PerformanceCounterFrequency();
  std::fprintf(stderr, "\rsweep %u/%u  block %u/%u  %s  elapsed %s   ", sweep, sweeps, block + 1, blocks,
               FormatExactSize(BlockLength(block)).c_str(), FormatSeconds(elapsed).c_str());
  std::fflush(stderr);
}
}  // namespace

void NotifyMeasurementDone(void* window) { SignalEvent(static_cast<ToolWindow*>(window)->done); }

int main(int argc, char** argv) {
  if (WantsLoadedLatency(argc, argv)) return RunLoadedLatencyTool(argc, argv);
  if (WantsCoreToCore(argc, argv)) return RunCoreToCoreTool(argc, argv);
  if (WantsCompare(argc, argv)) return RunCompareTool(argc, argv);
  if (WantsSurvey(argc, argv)) return RunSurveyTool(argc, argv);
  SweepToolOptions options;
  std::string error;
  if (!ParseSweepToolOptions(argc, argv, &options, &error)) return UsageError(error);
  if (options.help) {
    std::fputs(sweepToolUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("lorvanta-sweep %s\n", toolVersion);
    return 0;
  }

#ifndef LORVANTA_HAVE_PICTURE
  if (options.picture) return UsageError("--picture is not available in this build: it has no off-screen drawing backend");
#endif

  ClaimedFile csv, picture;
  if (!options.csvPath.empty() && !ClaimOutputFile(options.csvPath, kNoNumberedNames, &csv, &error)) return UsageError(error);
  if (options.picture && !ClaimOutputFile(options.picturePath, kScreenshotNames, &picture, &error)) {
    AbandonOutputFile(&csv);
    return UsageError(error);
  }
  auto fail = [&](const char* message) {
    std::fprintf(stderr, "lorvanta-sweep: %s\n", message);
    AbandonOutputFile(&csv);
    AbandonOutputFile(&picture);
    return 1;
  };

  MeasurementState& state = measurementState;
  state.testAreaSize = options.testAreaSize;
  state.blockStep = options.blockStep;
  state.repeatCount = options.fast ? 2 : 10;
  state.powerDefeatStopEvent = CreateAutoResetEvent();
  if (options.powerDefeat) StartPowerDefeatThread();
  ProbeProcessor();
  if (state.sourceBuffer == nullptr) return fail("cannot commit the two test buffers");
  ResetResultArrays();
  if (!ResultArraysExist()) return fail("cannot allocate the result arrays");

  std::signal(SIGINT, OnInterrupt);
  const bool progress = StandardErrorIsTerminal();
  ToolWindow window{CreateAutoResetEvent()};
  uint64_t lastSweepMilliseconds = 0;
  for (uint32_t sweep = 1; sweep <= options.sweeps; ++sweep) {
    const uint64_t start = ReadPerformanceCounter();
    StoreWhole32(&state.sweepBlockIndex, 0);
    ThreadHandle thread = StartThread(MeasurementThread, &window);
    if (thread == 0) return fail("cannot start the measurement thread");
    while (!WaitEvent(window.done, 200)) {
      if (interrupted) {
        StopThread(thread);
        CloseThread(thread);
        if (progress) std::fputs("\n", stderr);
        fail("interrupted; nothing written");
        return 130;
      }
      if (progress) ShowProgress(sweep, options.sweeps, start);
    }
    CloseThread(thread);
    lastSweepMilliseconds = (ReadPerformanceCounter() - start) * 1000 / PerformanceCounterFrequency();
    if (LoadWhole(&state.clockHz) == 0) return fail("the processor's clock rate could not be measured; no sweep ran");
    if (progress) ShowProgress(sweep, options.sweeps, start);
  }
  if (progress) std::fputs("\n", stderr);

  SignalEvent(state.powerDefeatStopEvent);
  char vendor[13];
  ReadVendorText(vendor);
  const ReportFacts facts{vendor, options.sweeps, lastSweepMilliseconds};
  if (csv.handle != -1 && !CompleteOutputFile(&csv, FormatCsv())) return fail("writing the CSV file failed; it was removed");
#ifdef LORVANTA_HAVE_PICTURE
  if (picture.handle != -1) {
    // The window as it shows the last sweep.
    const FileHandle file = picture.handle;
    picture.handle = -1;
    if (!WriteWindowPicture(file, picture.path.c_str(), options.pictureWidth, options.pictureHeight)) {
      return fail("writing the picture failed; it was removed");
    }
    std::fprintf(stderr, "lorvanta-sweep: picture written to %s (%dx%d)\n", picture.path.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
#endif
  const std::string text = options.json ? FormatJson(facts) : FormatSummary(facts);
  std::fputs(text.c_str(), stdout);
  ReleaseTestBuffers();
  return 0;
}
