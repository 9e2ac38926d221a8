// lorvanta-sweep --core-to-core: the machine's processors, every ordered
// pair's ping-pong with progress on a terminal, then the table, JSON, CSV and
// heat map.
#include "app/sweep/core_to_core_main.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/sweep/core_to_core_options.h"
#include "app/sweep/core_to_core_report.h"
#include "app/sweep/output_files.h"
#include "app/sweep/run_control.h"
#include "app/tool_version.h"
#include "display/latency_matrix_chart.h"
#include "platform/os.h"

namespace {
// The picture's name when --picture names no file.
constexpr NumberedNames kCoreToCorePictureNames = {"core-to-core", "png"};

// Between pairs and samples: stops on a stop signal; on a terminal shows
// which pair runs at most five times a second.
bool OnPairProgress(const CoreToCoreProgress& where, void* context) {
  if (StopSignal() != 0) return false;
  uint64_t elapsed = 0;
  if (!ProgressLineDue(static_cast<ProgressDisplay*>(context), where.pairsDone == 0, &elapsed)) return true;
  const uint64_t remaining =
      where.pairsDone == 0 ? 0 : elapsed * (where.pairsTotal - where.pairsDone) / where.pairsDone;
  std::fprintf(stderr, "\rcore-to-core: pair %u of %u, elapsed %s, about %s to go   ", where.pairsDone + 1,
               where.pairsTotal, MinutesSeconds(elapsed).c_str(), MinutesSeconds(remaining).c_str());
  std::fflush(stderr);
  return true;
}

// The heat map's figures: the matrix's columns as the chart reads them.
struct MatrixPicture {
  std::vector<uint32_t> processors, cores;
  std::vector<int32_t> groups;
  const CoreToCoreMatrix* matrix;
  std::wstring title;
};

void PaintMatrixPicture(Canvas& canvas, Rect area, const void* context) {
  const MatrixPicture& picture = *static_cast<const MatrixPicture*>(context);
  const LatencyMatrixData data{static_cast<uint32_t>(picture.processors.size()), picture.processors.data(),
                               picture.cores.data(), picture.groups.data(),
                               picture.matrix->oneWayPicoseconds.data(), picture.title.c_str()};
  PaintLatencyMatrix(canvas, area, data, DisplayLatencyMatrixStyle());
}

bool WriteMatrixPicture(const CoreToCoreMatrix& matrix, const std::string& title, ClaimedFile* file,
                        const CoreToCoreToolOptions& options) {
  MatrixPicture picture{{}, {}, {}, &matrix, std::wstring(title.begin(), title.end())};
  for (const MatrixProcessor& processor : matrix.processors) {
    picture.processors.push_back(processor.processor);
    picture.cores.push_back(processor.core);
    // Packages apart too: a group per package and last-level cache.
    picture.groups.push_back(static_cast<int32_t>(processor.package * 1024) + processor.lastLevelCache);
  }
  const FileHandle handle = file->handle;
  file->handle = -1;
  return WritePictureFile(handle, file->path.c_str(), options.pictureFormat, options.pictureWidth,
                          options.pictureHeight, PaintMatrixPicture, &picture);
}
}  // namespace

int RunCoreToCoreTool(int argc, const char* const* argv) {
  CoreToCoreToolOptions options;
  std::string error;
  if (!ParseCoreToCoreOptions(argc, argv, &options, &error)) return RefuseInput(error + "\n(see --core-to-core --help)");
  if (options.help) {
    std::fputs(CoreToCoreUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("lorvanta-sweep %s\n", toolVersion);
    return 0;
  }
  if (options.picture && !PictureFormatWritable(options.pictureFormat, &error)) return RefuseInput(error);

  // probe the machine -> choose the processors -> claim the files -> measure
  // every ordered pair -> report.
  RunContext context = options.context;
  context.dateUtc = UtcDateNow();
  const SurveyMachine machine = ProbeSurveyMachine();
  const size_t chosen = ChooseMatrixProcessors(machine.layout, options.everyLogicalProcessor).size();
  if (chosen < 2) {
    const bool moreThreads = !options.everyLogicalProcessor && machine.layout.processors.size() >= 2;
    return RefuseInput("core-to-core latency needs at least two processors; this process may run on " +
                      std::to_string(chosen) + (moreThreads ? " core (--all-logical takes its hardware threads)" : ""));
  }

  CatchStopSignals();
  ClaimedFile csv, picture;
  if (!options.csvPath.empty() && !ClaimOutputFile(options.csvPath, kNoNumberedNames, &csv, &error)) return RefuseInput(error);
  if (options.picture && !ClaimOutputFile(options.picturePath, kCoreToCorePictureNames, &picture, &error)) {
    AbandonOutputFile(&csv);
    return RefuseInput(error);
  }

  ProgressDisplay display{StandardErrorIsTerminal(), ReadPerformanceCounter(), 0};
  CoreToCoreMatrix matrix;
  const CoreToCoreOutcome outcome = MeasureCoreToCoreMatrix(machine.layout, options.everyLogicalProcessor,
                                                            options.rule, machine.tscHz, OnPairProgress, &display,
                                                            &matrix, &error);
  if (display.terminal) std::fputs("\n", stderr);
  const uint64_t elapsed = MillisecondsSince(display.start);
  if (outcome != MatrixMeasured) return EndWithoutResults(outcome == MatrixStopped, error, &csv, &picture);

  if (csv.handle != -1 && !CompleteOutputFile(&csv, FormatCoreToCoreCsv(matrix))) {
    AbandonOutputFile(&picture);
    std::fputs("lorvanta-sweep: writing the CSV file failed; it was removed\n", stderr);
    return 1;
  }
  if (picture.handle != -1) {
    const std::string brand = machine.identity.brand.empty() ? machine.identity.vendor : machine.identity.brand;
    const std::string title = brand + " - core-to-core one-way latency (ns) - " + context.dateUtc;
    if (!WriteMatrixPicture(matrix, title, &picture, options)) {
      std::fputs("lorvanta-sweep: writing the picture failed; it was removed\n", stderr);
      return 1;
    }
    std::fprintf(stderr, "lorvanta-sweep: picture written to %s (%dx%d)\n", picture.path.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
  const std::string text = options.json ? FormatCoreToCoreJson(matrix, machine, context, elapsed)
                                        : FormatCoreToCoreText(matrix, machine, context, elapsed);
  std::fputs(text.c_str(), stdout);
  return 0;
}
