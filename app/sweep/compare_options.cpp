#include "app/sweep/compare_options.h"

#include <CLI/CLI.hpp>
#include <cstring>

#include "app/sweep/options.h"

namespace {
void BuildApp(CLI::App& app, CompareToolOptions* options, std::string* pictureSize) {
  app.set_help_flag();  // --help is handled here, so that it never exits the process
  app.add_flag("--help,-h", options->help, "show this text");
  app.add_flag("--compare", "compare saved surveys (this mode)");
  app.add_option("files", options->files, "two or more files of lorvanta-sweep --survey --json; the first is the base");
  app.add_flag("--json", options->json, "print the comparison as JSON on stdout");
  app.add_option("--picture", options->picturePath,
                 "overlay the runs' best curves in a picture FILE, as .png, .svg, .pdf or .bmp by its extension "
                 "(.png or .bmp on Windows), or to the next free compare-N.png")
      ->expected(0, 1);
  app.add_option("--size", *pictureSize, "the picture's size WxH (default 1200x900)");
}
}  // namespace

bool WantsCompare(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--compare") == 0) return true;
  return false;
}

bool ParseCompareOptions(int argc, const char* const* argv, CompareToolOptions* options, std::string* error) {
  *options = CompareToolOptions();
  CLI::App app("lorvanta-sweep --compare", "lorvanta-sweep");
  std::string pictureSize;
  BuildApp(app, options, &pictureSize);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (options->help) return true;
  if (options->files.size() < 2) {
    *error = "--compare takes two or more saved surveys (files of lorvanta-sweep --survey --json), not " +
             std::to_string(options->files.size());
    return false;
  }
  options->picture = app.count("--picture") > 0;
  return ParsePictureOptions(options->picture ? options->picturePath : "", pictureSize, &options->pictureFormat,
                             &options->pictureWidth, &options->pictureHeight, error);
}

std::string CompareUsage() {
  CLI::App app("lorvanta-sweep --compare A.json B.json [C.json ...]: saved surveys side by side, each figure with "
               "its spread and its ratio to the first; a difference is marked real only where the runs' ranges "
               "over their passes do not overlap",
               "lorvanta-sweep");
  CompareToolOptions options;
  std::string unused;
  BuildApp(app, &options, &unused);
  return app.help();
}
