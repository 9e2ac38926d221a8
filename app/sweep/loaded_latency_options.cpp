#include "app/sweep/loaded_latency_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>

#include "app/sweep/survey_options.h"

const char* const loadedTrafficWords[4] = {"read", "write", "copy", "mix"};

namespace {
// The other modes' options: known here so that the refusal can say why.
const char* const otherModeOptions[] = {"--survey", "--compare", "--core-to-core", "--max-size",
                                        "--points-per-doubling", "--repeats", "--isa", "--latency", "--no-bind",
                                        "--all-logical", "--round-trips", "--samples", "--test-area",
                                        "--block-step", "--sweeps", "--fast", "--no-power-defeat"};
constexpr uint32_t kLongestDelay = 1u << 24;            // cycles: some milliseconds after every 4 KiB
constexpr uint64_t kShortestPoint = 100000000;          // ns: the chaser's mean needs this many loads
constexpr uint64_t kSmallestBuffer = uint64_t{2} << 20;  // bytes: two runs of blocks moved without a delay

std::vector<std::string> CommaSeparated(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == ',') parts.emplace_back();
    else if (c != ' ') parts.back() += c;
  }
  return parts;
}

bool ParseTraffic(const std::string& text, std::vector<LoadedTraffic>* traffic, std::string* error) {
  traffic->clear();
  for (const std::string& word : CommaSeparated(text)) {
    uint32_t kind = 0;
    while (kind < 4 && word != loadedTrafficWords[kind]) ++kind;
    if (word == "all") {
      *traffic = {TrafficRead, TrafficWrite, TrafficCopy, TrafficMix};
      return true;
    }
    if (kind == 4) {
      *error = "--traffic takes read, write, copy, mix or all, separated by commas, not '" + word + "'";
      return false;
    }
    if (std::find(traffic->begin(), traffic->end(), static_cast<LoadedTraffic>(kind)) == traffic->end())
      traffic->push_back(static_cast<LoadedTraffic>(kind));
  }
  return true;
}

bool ParseDelays(const std::string& text, std::vector<uint32_t>* delays, std::string* error) {
  delays->clear();
  for (const std::string& word : CommaSeparated(text)) {
    const bool digits = !word.empty() && word.size() <= 9 &&
                        word.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoul(word) > kLongestDelay) {
      *error = "--delays takes core cycles from 0 to " + std::to_string(kLongestDelay) +
               " as whole numbers separated by commas, such as 0,64,1024, not '" + word + "'";
      return false;
    }
    delays->push_back(static_cast<uint32_t>(std::stoul(word)));
  }
  std::sort(delays->begin(), delays->end());
  delays->erase(std::unique(delays->begin(), delays->end()), delays->end());
  return true;
}

void BuildApp(CLI::App& app, LoadedLatencyToolOptions* options, std::string* texts, std::string* ignored) {
  std::string &traffic = texts[0], &delays = texts[1], &buffer = texts[2], &minTime = texts[3], &size = texts[4];
  app.set_help_flag();  // --help is handled here, so that it never exits the process
  app.add_flag("--help,-h", options->help, "show this text");
  app.add_flag("--version", options->version, "print the version");
  app.add_flag("--loaded-latency",
               "measure the memory latency while other threads move traffic at falling rates (this mode)");
  app.add_option("--traffic", traffic, "the loaders' traffic: read, write (non-temporal), copy, mix (2 reads : 1 "
                                       "write) or all, separated by commas (default all)");
  app.add_option("--delays", delays,
                 "the loaders' delay after every 4 KiB in core cycles, such as 0,64,1024 (default 0, 16, 32, 64, "
                 "... until the bandwidth falls below 5% of its highest)");
  app.add_option("--threads", options->threadsText,
                 "the chaser and the loaders, each on its own core: N (2 or more) or all (default all)");
  app.add_option("--buffer-size", buffer,
                 "every thread's buffer, in B, KiB/K, MiB/M or GiB/G (default 8 x the last-level cache)");
  app.add_flag("--huge-pages", options->hugePages, "ask for transparent huge pages for the buffers");
  app.add_option("--min-time", minTime, "each point lasts at least this, 100ms or more (default 100ms)");
  app.add_flag("--json", options->json, "print the curves as JSON on stdout");
  app.add_option("--csv", options->csvPath, "write a row per point (FILE must not exist yet)");
  app.add_option("--picture", options->picturePath,
                 "write latency over bandwidth to FILE, as .png, .svg, .pdf or .bmp by its extension, or to the "
                 "next free loaded-latency-N.png")
      ->expected(0, 1);
  app.add_option("--size", size, "the picture's size WxH (default 1200x800)");
  app.add_option("--label", options->context.label, "name the run with TEXT (kept in the JSON and the table's head)");
  for (const char* name : otherModeOptions) app.add_option(name, *ignored)->group("")->expected(0, 1);
}
}  // namespace

bool WantsLoadedLatency(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--loaded-latency") == 0) return true;
  return false;
}

bool ParseLoadedLatencyOptions(int argc, const char* const* argv, LoadedLatencyToolOptions* options,
                               std::string* error) {
  *options = LoadedLatencyToolOptions();
  CLI::App app("lorvanta-sweep --loaded-latency", "lorvanta-sweep");
  std::string texts[5], ignored;
  BuildApp(app, options, texts, &ignored);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (options->help || options->version) return true;
  for (const char* name : otherModeOptions) {
    if (app.count(name) == 0) continue;
    *error = std::string(name) + " belongs to another mode and does not combine with --loaded-latency";
    return false;
  }
  const std::string &traffic = texts[0], &delays = texts[1], &buffer = texts[2], &minTime = texts[3];
  if (!ParseTraffic(app.count("--traffic") > 0 ? traffic : "all", &options->traffic, error)) return false;
  if (app.count("--delays") > 0 && !ParseDelays(delays, &options->delays, error)) return false;
  if (app.count("--buffer-size") > 0) {
    if (!ParseByteSize(buffer, &options->bufferBytes, error)) return false;
    if (options->bufferBytes < kSmallestBuffer) {
      *error = "--buffer-size takes 2 MiB or more";
      return false;
    }
  }
  if (app.count("--min-time") > 0) {
    if (!ParseDuration(minTime, &options->minTimeNanoseconds, error)) return false;
    if (options->minTimeNanoseconds < kShortestPoint) {
      *error = "--min-time takes 100ms or more: a point's mean latency needs that many loads";
      return false;
    }
  }
  options->context.labelGiven = app.count("--label") > 0;
  options->picture = app.count("--picture") > 0;
  return ParsePictureOptions(options->picture ? options->picturePath : "", texts[4], &options->pictureFormat,
                             &options->pictureWidth, &options->pictureHeight, error);
}

std::string LoadedLatencyUsage() {
  CLI::App app("lorvanta-sweep --loaded-latency: the memory latency one thread sees while the others move read, "
               "write, copy or mixed traffic, their delay after every 4 KiB lengthened point by point, as a curve "
               "of latency over bandwidth",
               "lorvanta-sweep");
  LoadedLatencyToolOptions options;
  std::string texts[5], ignored;
  BuildApp(app, &options, texts, &ignored);
  return app.help();
}

bool ResolveLoadedThreads(const std::string& text, uint32_t available, uint32_t* threads, std::string* error) {
  const bool digits = !text.empty() && text.size() <= 6 && text.find_first_not_of("0123456789") == std::string::npos;
  const uint32_t asked = text == "all" ? available : digits ? static_cast<uint32_t>(std::stoul(text)) : 0;
  if (asked < 2 || asked > available) {
    *error = "--threads takes 2 to " + std::to_string(available) + " (one chaser and at least one loader) or all, not '" +
             text + "'";
    return false;
  }
  *threads = asked;
  return true;
}
