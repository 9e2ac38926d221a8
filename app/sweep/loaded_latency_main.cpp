// lorvanta-sweep --loaded-latency: the machine's processors, a curve per
// traffic kind with progress on a terminal, then the table, JSON, CSV and
// the picture of latency over bandwidth.
#include "app/sweep/loaded_latency_main.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/sweep/loaded_latency_options.h"
#include "app/sweep/loaded_latency_report.h"
#include "app/sweep/output_files.h"
#include "app/sweep/run_control.h"
#include "app/tool_version.h"
#include "display/display_state.h"
#include "display/loaded_latency_chart.h"
#include "display/quantity_text.h"
#include "platform/os.h"
#include "platform/survey/memory.h"
#include "survey/placement.h"

namespace {
// The picture's name when --picture names no file.
constexpr NumberedNames kLoadedLatencyPictureNames = {"loaded-latency", "png"};
constexpr uint64_t kUnknownCacheBuffer = uint64_t{256} << 20;  // when no cache size is known
constexpr uint32_t kChaseLine = 64;

struct CurveProgress {
  ProgressDisplay display;
  uint32_t kind, kinds;  // the traffic kind being measured, of how many
};

// While the threads prepare and between and during points: stops on a stop
// signal; on a terminal shows where the run is at most five times a second.
bool OnLoadedProgress(const LoadedLatencyProgress& where, void* context) {
  if (StopSignal() != 0) return false;
  CurveProgress& progress = *static_cast<CurveProgress*>(context);
  uint64_t elapsed = 0;
  if (!ProgressLineDue(&progress.display, false, &elapsed)) return true;
  const std::string point = where.alone ? std::string("the chaser alone (idle latency)")
                                        : "point " + std::to_string(where.pointsDone + 1) + ", delay " +
                                              std::to_string(where.delayCycles) + " cycles";
  std::fprintf(stderr, "\rloaded latency: %s traffic (%u of %u), %s, elapsed %s   ", loadedTrafficWords[where.traffic],
               progress.kind + 1, progress.kinds, point.c_str(), MinutesSeconds(elapsed).c_str());
  std::fflush(stderr);
  return true;
}

// The picture's figures: the curves as the chart reads them.
struct CurvesPicture {
  std::vector<std::wstring> names;
  std::vector<std::vector<uint64_t>> rates, latencies;
  std::vector<LoadedLatencyChartCurve> curves;
  uint64_t idlePicoseconds = 0;
  std::wstring title;
};

void PaintCurvesPicture(Canvas& canvas, Rect area, const void* context) {
  const CurvesPicture& picture = *static_cast<const CurvesPicture*>(context);
  const LoadedLatencyChartData data{picture.curves.data(), static_cast<uint32_t>(picture.curves.size()),
                                    picture.idlePicoseconds, picture.title.c_str()};
  PaintLoadedLatencyChart(canvas, area, data, displayState.panelFont);
}

bool WriteCurvesPicture(const LoadedLatencyRun& run, const std::string& title, ClaimedFile* file,
                        const LoadedLatencyToolOptions& options) {
  CurvesPicture picture;
  picture.title = std::wstring(title.begin(), title.end());
  for (const LoadedLatencyCurve& curve : run.curves) {
    const std::string name = loadedTrafficWords[curve.traffic];
    picture.names.emplace_back(name.begin(), name.end());
    picture.rates.emplace_back();
    picture.latencies.emplace_back();
    for (const LoadedLatencyPoint& point : curve.points) {
      picture.rates.back().push_back(point.bytesPerSecond);
      picture.latencies.back().push_back(point.latencyPicoseconds);
    }
    // The idle mark: the lowest of the curves' idle latencies, each the chaser alone.
    if (picture.idlePicoseconds == 0 || curve.idleLatencyPicoseconds < picture.idlePicoseconds)
      picture.idlePicoseconds = curve.idleLatencyPicoseconds;
  }
  for (size_t i = 0; i < run.curves.size(); ++i)
    picture.curves.push_back({picture.names[i].c_str(), picture.rates[i].data(), picture.latencies[i].data(),
                              static_cast<uint32_t>(picture.rates[i].size())});
  const FileHandle handle = file->handle;
  file->handle = -1;
  return WritePictureFile(handle, file->path.c_str(), options.pictureFormat, options.pictureWidth,
                          options.pictureHeight, PaintCurvesPicture, &picture);
}

uint64_t LargestCacheBytes(const SurveyMachine& machine) {
  uint64_t largest = 0;
  for (const SurveyCache& cache : machine.caches) largest = std::max(largest, cache.sizeBytes);
  return largest;
}

// The setup of a run: the processors placed, the buffers sized and checked
// against the memory. False, with one line in error, on a machine or a
// command line that cannot make one.
bool ChooseSetup(const LoadedLatencyToolOptions& options, const SurveyMachine& machine, LoadedLatencyRun* run,
                 std::string* error) {
  const uint32_t available = static_cast<uint32_t>(machine.layout.processors.size());
  if (available < 2) {
    *error = "loaded latency needs at least two processors, one to chase and one to load; this process may run on " +
             std::to_string(available);
    return false;
  }
  uint32_t threads = 0;
  ThreadPlacement placement;
  if (!ResolveLoadedThreads(options.threadsText, available, &threads, error) ||
      !PlaceThreads(machine.layout, threads, &placement, error))
    return false;
  LoadedLatencySetup& setup = run->setup;
  for (const ThreadPlace& place : placement.threads) setup.processors.push_back(place.processor);
  run->lastLevelCacheBytes = LargestCacheBytes(machine);
  setup.bufferBytes = options.bufferBytes != 0         ? options.bufferBytes
                      : run->lastLevelCacheBytes != 0 ? 8 * run->lastLevelCacheBytes
                                                      : kUnknownCacheBuffer;
  const uint64_t memory = AvailableMemoryBytes();
  if (memory != 0 && setup.bufferBytes > memory / 4 * 3 / threads) {
    *error = std::to_string(threads) + " buffers of " + ByteSizeText(setup.bufferBytes) +
             " would take more than three quarters of the " + ByteSizeText(memory) +
             " of free memory; ask for fewer --threads or a smaller --buffer-size";
    return false;
  }
  setup.hugePages = options.hugePages;
  setup.lineSize = kChaseLine;
  setup.tscHz = machine.tscHz;
  setup.minTicks = machine.tscHz / 1000 * (options.minTimeNanoseconds / 1000) / 1000;
  setup.kernels = ChooseLoadedKernels(machine.supportedIsas);
  setup.maxDelayCycles = 1u << 24;
  setup.delays = options.delays;
  return true;
}
}  // namespace

int RunLoadedLatencyTool(int argc, const char* const* argv) {
  LoadedLatencyToolOptions options;
  std::string error;
  if (!ParseLoadedLatencyOptions(argc, argv, &options, &error))
    return RefuseInput(error + "\n(see --loaded-latency --help)");
  if (options.help) {
    std::fputs(LoadedLatencyUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("lorvanta-sweep %s\n", toolVersion);
    return 0;
  }
  if (options.picture && !PictureFormatWritable(options.pictureFormat, &error)) return RefuseInput(error);

  // probe the machine -> place the threads and size the buffers -> claim the
  // files -> a curve per traffic kind -> report.
  RunContext context = options.context;
  context.dateUtc = UtcDateNow();
  const SurveyMachine machine = ProbeSurveyMachine();
  LoadedLatencyRun run;
  if (!ChooseSetup(options, machine, &run, &error)) return RefuseInput(error);

  CatchStopSignals();
  ClaimedFile csv, picture;
  if (!options.csvPath.empty() && !ClaimOutputFile(options.csvPath, kNoNumberedNames, &csv, &error)) return RefuseInput(error);
  if (options.picture && !ClaimOutputFile(options.picturePath, kLoadedLatencyPictureNames, &picture, &error)) {
    AbandonOutputFile(&csv);
    return RefuseInput(error);
  }

  CurveProgress progress{{StandardErrorIsTerminal(), ReadPerformanceCounter(), 0}, 0,
                         static_cast<uint32_t>(options.traffic.size())};
  LoadedLatencyOutcome outcome = LoadedMeasured;
  for (; progress.kind < options.traffic.size() && outcome == LoadedMeasured; ++progress.kind) {
    run.curves.emplace_back();
    outcome = MeasureLoadedLatencyCurve(run.setup, options.traffic[progress.kind], OnLoadedProgress, &progress,
                                        &run.curves.back(), &error);
  }
  if (progress.display.terminal) std::fputs("\n", stderr);
  const uint64_t elapsed = MillisecondsSince(progress.display.start);
  if (outcome != LoadedMeasured) return EndWithoutResults(outcome == LoadedStopped, error, &csv, &picture);

  if (csv.handle != -1 && !CompleteOutputFile(&csv, FormatLoadedLatencyCsv(run))) {
    AbandonOutputFile(&picture);
    std::fputs("lorvanta-sweep: writing the CSV file failed; it was removed\n", stderr);
    return 1;
  }
  if (picture.handle != -1) {
    const std::string brand = machine.identity.brand.empty() ? machine.identity.vendor : machine.identity.brand;
    const std::string title = brand + " - latency under load - " + context.dateUtc;
    if (!WriteCurvesPicture(run, title, &picture, options)) {
      std::fputs("lorvanta-sweep: writing the picture failed; it was removed\n", stderr);
      return 1;
    }
    std::fprintf(stderr, "lorvanta-sweep: picture written to %s (%dx%d)\n", picture.path.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
  const std::string text = options.json ? FormatLoadedLatencyJson(run, machine, context, elapsed)
                                        : FormatLoadedLatencyText(run, machine, context, elapsed);
  std::fputs(text.c_str(), stdout);
  return 0;
}
