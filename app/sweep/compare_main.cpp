// lorvanta-sweep --compare: reads every file before anything is written, then
// prints the table or JSON and, when asked, writes the overlaid curves.
#include "app/sweep/compare_main.h"

#include <cstdio>

#include "app/sweep/compare_options.h"
#include "app/sweep/compare_read.h"
#include "app/sweep/compare_report.h"
#include "app/sweep/output_files.h"
#include "app/sweep/run_control.h"
#include "app/sweep/picture_file.h"
#include "display/compare_chart.h"
#include "display/display_state.h"

namespace {
// What the picture paints: the chart's data and the texts it points at.
struct ComparePicture {
  std::vector<std::wstring> names;
  std::vector<CompareChartRun> runs;
  std::wstring title;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Each file's run of the given thread count, named by its letter, name and date.
void BuildComparePicture(const std::vector<CompareFile>& files, uint32_t threads, ComparePicture* picture) {
  picture->names.reserve(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const CompareFile& file = files[i];
    picture->names.push_back(Wide(CompareFileLetter(i) + "  " + file.name + ", " + file.date));
    CompareChartRun chartRun{picture->names.back().c_str(), nullptr, 0, {}};
    for (const CompareThreadRun& run : file.runs) {
      if (run.threads != threads) continue;
      chartRun.lengths = run.lengths.data();
      chartRun.lengthCount = static_cast<uint32_t>(run.lengths.size());
      for (uint32_t group = 0; group < kCompareGroupCount; ++group) chartRun.rates[group] = run.bestRates[group].data();
    }
    picture->runs.push_back(chartRun);
  }
  picture->title = Wide("best rates over the block length, " + std::to_string(threads) +
                        (threads == 1 ? " thread" : " threads"));
}

void PaintComparePicture(Canvas& canvas, Rect area, const void* context) {
  const ComparePicture& picture = *static_cast<const ComparePicture*>(context);
  const CompareChartData data = {picture.runs.data(), static_cast<uint32_t>(picture.runs.size()),
                                 picture.title.c_str()};
  PaintCompareChart(canvas, area, data, displayState.panelFont);
}
}  // namespace

int RunCompareTool(int argc, const char* const* argv) {
  CompareToolOptions options;
  std::string error;
  if (!ParseCompareOptions(argc, argv, &options, &error)) return RefuseInput(error + "\n(see --compare --help)");
  if (options.help) {
    std::fputs(CompareUsage().c_str(), stdout);
    return 0;
  }

  std::vector<CompareFile> files(options.files.size());
  for (size_t i = 0; i < files.size(); ++i)
    if (!ReadCompareFile(options.files[i], &files[i], &error)) return RefuseInput(error);
  const Comparison comparison = CompareFiles(files);

  if (options.picture) {
    const PictureFormat format = options.pictureFormat;
    if (!PictureFormatWritable(format, &error)) return RefuseInput(error);
    if (comparison.pictureThreads == 0)
      return RefuseInput("--picture: no thread count is in every file, so there are no curves to overlay");
    ClaimedFile claimed;
    if (!ClaimOutputFile(options.picturePath, NumberedNames{"compare", "png"}, &claimed, &error))
      return RefuseInput(error);
    ComparePicture picture;
    BuildComparePicture(files, comparison.pictureThreads, &picture);
    if (!WritePictureFile(claimed.handle, claimed.path.c_str(), format, options.pictureWidth, options.pictureHeight,
                          PaintComparePicture, &picture)) {
      std::fputs("lorvanta-sweep: writing the picture failed; it was removed\n", stderr);
      return 1;
    }
    std::fprintf(stderr, "lorvanta-sweep: picture of %u %s written to %s (%dx%d)\n", comparison.pictureThreads,
                 comparison.pictureThreads == 1 ? "thread" : "threads", claimed.path.c_str(),
                 static_cast<int>(options.pictureWidth), static_cast<int>(options.pictureHeight));
  }
  const std::string text = options.json ? FormatCompareJson(files, comparison) : FormatCompareText(files, comparison);
  std::fputs(text.c_str(), stdout);
  return 0;
}
