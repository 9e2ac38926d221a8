#include "app/sweep/core_to_core_options.h"

#include <CLI/CLI.hpp>
#include <cstring>

#include "app/sweep/options.h"

namespace {
// The other modes' options: known here so that the refusal can say why.
const char* const otherModeOptions[] = {"--survey", "--compare", "--max-size", "--points-per-doubling", "--min-time",
                                        "--repeats", "--huge-pages", "--isa", "--latency", "--threads", "--no-bind",
                                        "--test-area", "--block-step", "--sweeps", "--fast", "--no-power-defeat",
                                        "--traffic", "--delays", "--buffer-size"};
constexpr uint32_t kMostRoundTrips = 100000000, kMostSamples = 1000;

void BuildApp(CLI::App& app, CoreToCoreToolOptions* options, std::string* pictureSize, std::string* ignored) {
  app.set_help_flag();  // --help is handled here, so that it never exits the process
  app.add_flag("--help,-h", options->help, "show this text");
  app.add_flag("--version", options->version, "print the version");
  app.add_flag("--core-to-core", "measure the one-way latency between every two processors (this mode)");
  app.add_flag("--all-logical", options->everyLogicalProcessor,
               "every logical processor, SMT siblings marked (default: one per core, its lowest-numbered thread)");
  app.add_option("--round-trips", options->rule.roundTrips,
                 "round trips per sample, " + std::to_string(kPingPongRule.roundTrips) + " or more (default " +
                     std::to_string(kPingPongRule.roundTrips) + ")");
  app.add_option("--samples", options->rule.samples,
                 "samples per pair, their median the figure, " + std::to_string(kPingPongRule.samples) +
                     " or more (default " + std::to_string(kPingPongRule.samples) + ")");
  app.add_flag("--json", options->json, "print the matrix as JSON on stdout");
  app.add_option("--csv", options->csvPath, "write a row per ordered pair (FILE must not exist yet)");
  app.add_option("--picture", options->picturePath,
                 "write the heat map to FILE, as .png, .svg, .pdf or .bmp by its extension, or to the next free "
                 "core-to-core-N.png")
      ->expected(0, 1);
  app.add_option("--size", *pictureSize, "the picture's size WxH (default 1000x900)");
  app.add_option("--label", options->context.label, "name the run with TEXT (kept in the JSON and the table's head)");
  for (const char* name : otherModeOptions) app.add_option(name, *ignored)->group("")->expected(0, 1);
}
}  // namespace

bool WantsCoreToCore(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--core-to-core") == 0) return true;
  return false;
}

bool ParseCoreToCoreOptions(int argc, const char* const* argv, CoreToCoreToolOptions* options, std::string* error) {
  *options = CoreToCoreToolOptions();
  CLI::App app("lorvanta-sweep --core-to-core", "lorvanta-sweep");
  std::string pictureSize, ignored;
  BuildApp(app, options, &pictureSize, &ignored);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (options->help || options->version) return true;
  for (const char* name : otherModeOptions) {
    if (app.count(name) == 0) continue;
    *error = std::string(name) + " belongs to another mode and does not combine with --core-to-core";
    return false;
  }
  const PingPongRule& rule = options->rule;
  if (rule.roundTrips < kPingPongRule.roundTrips || rule.roundTrips > kMostRoundTrips) {
    *error = "--round-trips takes " + std::to_string(kPingPongRule.roundTrips) + " to " +
             std::to_string(kMostRoundTrips) + ": fewer round trips make a sample too short to time";
    return false;
  }
  if (rule.samples < kPingPongRule.samples || rule.samples > kMostSamples) {
    *error = "--samples takes " + std::to_string(kPingPongRule.samples) + " to " + std::to_string(kMostSamples) +
             ": the figure is the median of at least " + std::to_string(kPingPongRule.samples) + " samples";
    return false;
  }
  options->context.labelGiven = app.count("--label") > 0;
  options->picture = app.count("--picture") > 0;
  return ParsePictureOptions(options->picture ? options->picturePath : "", pictureSize, &options->pictureFormat,
                             &options->pictureWidth, &options->pictureHeight, error);
}

std::string CoreToCoreUsage() {
  CLI::App app("lorvanta-sweep --core-to-core: the one-way latency of a cache line between every two processors, "
               "each ordered pair timed by two bound threads passing a fresh line back and forth",
               "lorvanta-sweep");
  CoreToCoreToolOptions options;
  std::string unused[2];
  BuildApp(app, &options, &unused[0], &unused[1]);
  return app.help();
}
