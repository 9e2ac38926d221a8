// lorvanta-sweep: runs the benchmark's sweeps without a window, with the
// settings the menu offers, and prints the panel's figures.
#include <csignal>
#include <cstdio>
#include <string>

#include "app/power_defeat.h"
#include "app/screenshot_file.h"
#include "app/sweep/options.h"
#include "app/sweep/picture.h"
#include "app/sweep/report.h"
#include "app/sweep/survey_main.h"
#include "app/sweep/survey_options.h"
#include "measure/state.h"
#include "measure/sweep.h"
#include "platform/os.h"
#include "probe/processor.h"

#ifdef _WIN32
#include <io.h>
#define IsTerminal(fd) _isatty(fd)
#else
#include <unistd.h>
#define IsTerminal(fd) isatty(fd)
#endif

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
               FormatSize(BlockLength(block)).c_str(), FormatSeconds(elapsed).c_str());
  std::fflush(stderr);
}
}  // namespace

void NotifyMeasurementDone(void* window) { SignalEvent(static_cast<ToolWindow*>(window)->done); }

int main(int argc, char** argv) {
  if (WantsSurvey(argc, argv)) return RunSurveyTool(argc, argv);
  SweepToolOptions options;
  std::string error;
  if (!ParseSweepToolOptions(argc, argv, &options, &error)) return UsageError(error);
  if (options.help) {
    std::fputs(sweepToolUsage, stdout);
    return 0;
  }

#ifndef LORVANTA_HAVE_PICTURE
  if (options.picture) return UsageError("--picture is not available in this build: it has no off-screen drawing backend");
#endif

  // The CSV file is claimed before anything is measured, so that a bad path
  // costs nothing and an existing file is never overwritten.
  FileHandle csv = -1;
  if (!options.csvPath.empty()) {
    const CreateFileResult created = CreateNewFile(options.csvPath.c_str(), &csv);
    if (created == FileExists) return UsageError("'" + options.csvPath + "' exists already; it is not overwritten");
    if (created != FileCreated) return UsageError("cannot create '" + options.csvPath + "'");
  }
  // The picture's file likewise: the one given, or the next free
  // screenshot-N.bmp.
  FileHandle picture = -1;
  std::string picturePath = options.picturePath;
  if (options.picture) {
    const CreateFileResult created = picturePath.empty() ? CreateNumberedScreenshotFile(&picture, &picturePath)
                                                         : CreateNewFile(picturePath.c_str(), &picture);
    if (created != FileCreated) {
      if (csv != -1) {
        CloseFile(csv);
        RemoveFile(options.csvPath.c_str());
      }
      if (created == FileExists) return UsageError("'" + picturePath + "' exists already; it is not overwritten");
      return UsageError(picturePath.empty() ? "cannot create a screenshot-N.bmp in the working directory"
                                            : "cannot create '" + picturePath + "'");
    }
  }
  auto fail = [&](const char* message) {
    std::fprintf(stderr, "lorvanta-sweep: %s\n", message);
    if (csv != -1) {
      CloseFile(csv);
      RemoveFile(options.csvPath.c_str());
    }
    if (picture != -1) {
      CloseFile(picture);
      RemoveFile(picturePath.c_str());
    }
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
  const bool progress = IsTerminal(2) != 0;
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
  if (csv != -1) {
    const std::string rows = FormatCsv();
    const bool written = WriteWholeBuffer(csv, rows.data(), static_cast<uint32_t>(rows.size()));
    if (!CloseFile(csv) || !written) {
      csv = -1;
      RemoveFile(options.csvPath.c_str());
      return fail("writing the CSV file failed; it was removed");
    }
    csv = -1;  // complete: a later failure leaves it alone
  }
#ifdef LORVANTA_HAVE_PICTURE
  if (picture != -1) {
    // The window as it shows the last sweep.
    const FileHandle file = picture;
    picture = -1;
    if (!WriteWindowPicture(file, picturePath.c_str(), options.pictureWidth, options.pictureHeight)) {
      return fail("writing the picture failed; it was removed");
    }
    std::fprintf(stderr, "lorvanta-sweep: picture written to %s (%dx%d)\n", picturePath.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
#endif
  const std::string text = options.json ? FormatJson(facts) : FormatSummary(facts);
  std::fputs(text.c_str(), stdout);
  ReleaseTestBuffers();
  return 0;
}
