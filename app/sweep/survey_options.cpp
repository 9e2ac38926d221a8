#include "app/sweep/survey_options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstring>

#include "display/quantity_text.h"
#include "platform/survey/memory.h"
#include "survey/lengths.h"

namespace {
const char* const exactSweepOptions[] = {"--test-area", "--block-step", "--sweeps", "--fast", "--no-power-defeat"};

void BuildApp(CLI::App& app, SurveyToolOptions* options, std::string* maxSize, std::string* minTime,
              std::string* pictureSize, std::string* ignored) {
  app.set_help_flag();  // --help is handled here, so that it never exits the process
  app.add_flag("--help,-h", options->help, "show this text");
  app.add_flag("--version", options->version, "print the version");
  app.add_flag("--survey", "measure every level of the memory hierarchy (this mode)");
  app.add_option("--max-size", *maxSize,
                 "largest block: a size in B, KiB/K, MiB/M or GiB/G (default: the larger of 64 MiB and 8 x the "
                 "last cache, within half of the free memory)");
  app.add_option("--points-per-doubling", options->settings.pointsPerDoubling,
                 "block lengths per doubling, 1 to 64 (default 8)");
  app.add_option("--min-time", *minTime, "each measurement lasts at least this, e.g. 50us, 1ms (default 50us)");
  app.add_option("--repeats", options->settings.repeats, "passes through every length, one measurement per kernel each; the best counts (default 5)");
  app.add_flag("--huge-pages", options->settings.hugePages, "ask for transparent huge pages for the buffers");
  app.add_option("--isa", options->isaWord, "mmx, sse, sse2, avx, avx2, avx512, rep or all (default all)");
  app.add_flag("--latency", options->settings.latency,
               "also measure the load-to-use latency: a random pointer chase over the block's cache lines");
  app.add_option("--threads", options->threadsText,
                 "threads, each on its own core: N, all, or a list such as 1,2,all for a scaling table (default 1)");
  app.add_flag("--no-bind", options->noBind, "run the threads unbound where they cannot be bound");
  app.add_option("--csv", options->csvPath, "write a row per length: length, level, each kernel's rate (FILE must not exist yet)");
  app.add_flag("--json", options->json, "print the survey as JSON on stdout");
  app.add_option("--picture", options->picturePath,
                 "write the curves and figures to FILE, as .png, .svg, .pdf or .bmp by its extension, or to the next "
                 "free survey-N.png")
      ->expected(0, 1);
  app.add_option("--size", *pictureSize, "the picture's size WxH (default 1200x800)");
  app.add_option("--label", options->label,
                 "name the run with TEXT (any text; kept in the JSON and the table's head; no host name is "
                 "recorded otherwise)");
  // The exact sweep's settings are known here, so that the refusal can say why.
  for (const char* name : exactSweepOptions) app.add_option(name, *ignored)->group("")->expected(0, 1);
}
}  // namespace

bool ParseDuration(const std::string& text, uint64_t* nanoseconds, std::string* error) {
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  const std::string unit = text.substr(digits);
  uint64_t scale = 0;
  if (unit == "ns") scale = 1;
  else if (unit.empty() || unit == "us" || unit == "µs") scale = 1000;
  else if (unit == "ms") scale = 1000000;
  else if (unit == "s") scale = 1000000000;
  if (digits == 0 || digits > 9 || scale == 0) {
    *error = "--min-time takes a duration such as 50us, 2ms or 1s, not '" + text + "'";
    return false;
  }
  *nanoseconds = std::stoull(text.substr(0, digits)) * scale;
  if (*nanoseconds == 0 || *nanoseconds > 10000000000ull) {
    *error = "--min-time must lie between 1ns and 10s";
    return false;
  }
  return true;
}

bool ParseByteSize(const std::string& text, uint64_t* bytes, std::string* error) {
  size_t position = 0;
  uint64_t number = 0;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    if (number > (uint64_t{1} << 62) / 10) {
      *error = "size '" + text + "' is too large";
      return false;
    }
    number = number * 10 + static_cast<uint64_t>(text[position++] - '0');
  }
  if (position == 0) {
    *error = "size '" + text + "' does not start with a whole number";
    return false;
  }
  while (position < text.size() && text[position] == ' ') ++position;
  std::string unit;
  for (; position < text.size(); ++position) unit += static_cast<char>(std::tolower(static_cast<unsigned char>(text[position])));
  unsigned shift = 0;
  if (unit.empty() || unit == "b") shift = 0;
  else if (unit == "k" || unit == "kib") shift = 10;
  else if (unit == "m" || unit == "mib") shift = 20;
  else if (unit == "g" || unit == "gib") shift = 30;
  else {
    *error = "unknown unit in size '" + text + "' (use B, KiB, MiB or GiB)";
    return false;
  }
  if (number > ((uint64_t{1} << 62) >> shift)) {
    *error = "size '" + text + "' is too large";
    return false;
  }
  *bytes = number << shift;
  return true;
}

namespace {
struct IsaWord {
  const char* word;
  uint32_t mask;
};
const IsaWord isaWords[] = {{"mmx", IsaMmx},   {"sse", IsaSse},       {"sse2", IsaSse2}, {"avx", IsaAvx},
                            {"avx2", IsaAvx2}, {"avx512", IsaAvx512}, {"rep", IsaRep},   {"all", kAllIsas}};
}  // namespace

uint32_t IsaMaskFromWord(const char* word) {
  for (const IsaWord& entry : isaWords)
    if (std::strcmp(entry.word, word) == 0) return entry.mask;
  return 0;
}

const char* IsaName(SurveyIsa isa) {
  for (const IsaWord& entry : isaWords)
    if (entry.mask == isa) return entry.word;
  return "?";
}

bool WantsSurvey(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--survey") == 0) return true;
  return false;
}

bool ParseSurveyOptions(int argc, const char* const* argv, SurveyToolOptions* options, std::string* error) {
  *options = SurveyToolOptions();
  CLI::App app("lorvanta-sweep --survey", "lorvanta-sweep");
  std::string maxSize, minTime, pictureSize;
  std::string ignored;
  BuildApp(app, options, &maxSize, &minTime, &pictureSize, &ignored);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (options->help || options->version) return true;
  options->labelGiven = app.count("--label") > 0;
  for (const char* name : exactSweepOptions) {
    if (app.count(name) == 0) continue;
    *error = std::string(name) + " belongs to the exact sweep and does not combine with --survey";
    return false;
  }
  SurveySettings& settings = options->settings;
  if (!maxSize.empty()) {
    if (!ParseByteSize(maxSize, &settings.maxSize, error)) return false;
    if (settings.maxSize < kSurveyFirstLength) {
      *error = "--max-size must be at least 2 KiB, the first block length";
      return false;
    }
  }
  if (settings.pointsPerDoubling == 0 || settings.pointsPerDoubling > 64) {
    *error = "--points-per-doubling takes 1 to 64";
    return false;
  }
  if (settings.repeats == 0 || settings.repeats > 1000) {
    *error = "--repeats takes 1 to 1000";
    return false;
  }
  if (!minTime.empty() && !ParseDuration(minTime, &settings.minTimeNanoseconds, error)) return false;
  settings.wantedIsas = IsaMaskFromWord(options->isaWord.c_str());
  if (settings.wantedIsas == 0) {
    *error = "--isa takes mmx, sse, sse2, avx, avx2, avx512, rep or all, not '" + options->isaWord + "'";
    return false;
  }
  options->picture = app.count("--picture") > 0;
  return ParsePictureOptions(options->picture ? options->picturePath : "", pictureSize, &options->pictureFormat,
                             &options->pictureWidth, &options->pictureHeight, error);
}

bool ParseThreadCounts(const std::string& text, uint32_t available, std::vector<uint32_t>* counts,
                       std::string* error) {
  counts->clear();
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string word = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    uint32_t count = 0;
    if (word == "all") {
      count = available;
    } else if (!word.empty() && word.size() <= 6 && word.find_first_not_of("0123456789") == std::string::npos) {
      count = static_cast<uint32_t>(std::stoul(word));
      if (count == 0 || count > available) {
        *error = "--threads " + word + ": this machine offers 1 to " + std::to_string(available) + " threads";
        return false;
      }
    } else {
      *error = "--threads takes N, all or a list such as 1,2,all, not '" + word + "'";
      return false;
    }
    counts->push_back(count);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

std::string SurveyUsage() {
  CLI::App app("lorvanta-sweep --survey: every level of the memory hierarchy, L1 to DRAM, with every kernel "
               "the processor supports, timed in sustained loops",
               "lorvanta-sweep");
  SurveyToolOptions options;
  std::string unused[4];
  BuildApp(app, &options, &unused[0], &unused[1], &unused[2], &unused[3]);
  return app.help();
}

bool FitSurveyMaxSize(const char* sizeName, const std::vector<uint32_t>& threadCounts, SurveyRecord* record,
                      uint64_t* availableMemory, bool* capped, std::string* error) {
  uint32_t mostThreads = 1;
  for (uint32_t count : threadCounts) mostThreads = count > mostThreads ? count : mostThreads;
  *availableMemory = AvailableMemoryBytes();
  const uint64_t perThread = *availableMemory / mostThreads;
  const std::vector<SurveyCache>& caches = record->machine.caches;
  const uint64_t lastLevel = caches.empty() ? 0 : caches.back().sizeBytes;
  uint64_t& maxSize = record->settings.maxSize;
  if (maxSize == 0) {
    maxSize = DefaultMaxSize(lastLevel, perThread, capped);
  } else if (perThread != 0 && maxSize > perThread / 4) {
    *error = std::string(sizeName) + " " + ByteSizeText(maxSize) + " does not fit: " +
             std::to_string(2 * mostThreads) + " buffers of it must fit in half of the " +
             ByteSizeText(*availableMemory) + " of free memory (at most " + ByteSizeText(perThread / 4) +
             " each)";
    return false;
  }
  return true;
}
