#include "app/sweep/options.h"

#include <CLI/CLI.hpp>


const char* const sweepToolUsage =
    "usage: lorvanta-sweep [options]\n"
    "  --block-step 1|2|4|8|16   block step in KiB (default 1)\n"
    "  --test-area 1|2|4|8       test area in MiB (default 2)\n"
    "  --fast                    2 passes per test instead of 10\n"
    "  --no-power-defeat         do not keep a processor busy during the sweeps\n"
    "  --sweeps N                sweeps in a row, 1 to 1000 (default 1); the last one is reported\n"
    "  --csv FILE                write one row per block: length and the three rates in bytes/s\n"
    "                            (FILE must not exist yet)\n"
    "  --json                    print the results as JSON on stdout\n"
    "  --picture [FILE]          after the sweeps, write the window's picture as a 24-bit BMP\n"
    "                            to FILE (must not exist yet), or else to the next free\n"
    "                            screenshot-N.bmp in the working directory (Linux build)\n"
    "  --size WxH                the picture's size in pixels (default 684x449, the\n"
    "                            window's client area)\n"
    "  --help                    show this text\n"
    "  --version                 print the version\n"
    "  --survey                  measure every level of the memory hierarchy instead, L1 to DRAM\n"
    "                            (its options: lorvanta-sweep --survey --help)\n";

static bool ParseUnsigned(const char* text, uint64_t limit, uint64_t* value) {
  if (text == nullptr || *text == '\0') return false;
  uint64_t result = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(*c - '0');
    if (result > limit) return false;
  }
  *value = result;
  return true;
}

bool ParsePictureSize(const char* text, int32_t* width, int32_t* height) {
  const std::string value = text;
  const size_t cross = value.find_first_of("xX");
  if (cross == std::string::npos) return false;
  uint64_t w = 0, h = 0;
  if (!ParseUnsigned(value.substr(0, cross).c_str(), kMaxPictureSide, &w) ||
      !ParseUnsigned(value.substr(cross + 1).c_str(), kMaxPictureSide, &h) || w == 0 || h == 0) {
    return false;
  }
  *width = static_cast<int32_t>(w);
  *height = static_cast<int32_t>(h);
  return true;
}

namespace {
bool OneOf(uint64_t value, std::initializer_list<uint64_t> choices) {
  for (uint64_t choice : choices)
    if (value == choice) return true;
  return false;
}

// The options that take a value, and how a missing one is named.
struct ValueOption {
  const char* name;
  const char* needs;
};
const ValueOption valueOptions[] = {{"--block-step", "a value: 1, 2, 4, 8 or 16"},
                                    {"--test-area", "a value: 1, 2, 4 or 8"},
                                    {"--sweeps", "a count from 1 to 1000"},
                                    {"--csv", "a file name"},
                                    {"--picture", "a file name, not an empty one"},
                                    {"--size", "a size such as 800x600"}};

// One menu choice: a whole number among choices, times unit.
bool ParseChoice(const std::string& option, const std::string& text, std::initializer_list<uint64_t> choices,
                 const char* takes, uint64_t* value, std::string* error) {
  uint64_t number = 0;
  if (!ParseUnsigned(text.c_str(), 1000, &number) || !OneOf(number, choices)) {
    *error = option + " takes " + takes + ", not '" + text + "'";
    return false;
  }
  *value = number;
  return true;
}
}  // namespace

// CLI11 reads the words; the values are checked here, so that every refusal
// is one line in the tool's own words. Unknown words are kept as extras and
// named; a value option given without a value, or with an empty word, needs one.
bool ParseSweepToolOptions(int argc, const char* const* argv, SweepToolOptions* options, std::string* error) {
  *options = SweepToolOptions();
  CLI::App app("lorvanta-sweep");
  app.set_help_flag();
  app.allow_extras();
  bool noPowerDefeat = false;
  std::string values[sizeof valueOptions / sizeof valueOptions[0]];
  for (auto* flag : {app.add_flag("--help,-h", options->help), app.add_flag("--fast", options->fast),
                     app.add_flag("--no-power-defeat", noPowerDefeat), app.add_flag("--json", options->json),
                     app.add_flag("--version", options->version)})
    flag->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  for (size_t i = 0; i < sizeof valueOptions / sizeof valueOptions[0]; ++i)
    app.add_option(valueOptions[i].name, values[i])->expected(0, 1)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& failure) {
    *error = failure.what();
    return false;
  }
  if (!app.remaining().empty()) {
    *error = "unknown option '" + app.remaining().front() + "'";
    return false;
  }
  for (int i = 2; i < argc; ++i)
    for (const ValueOption& option : valueOptions)
      if (argv[i][0] == '\0' && std::string(argv[i - 1]) == option.name) {
        *error = std::string(option.name) + " needs " + option.needs;
        return false;
      }
  options->powerDefeat = !noPowerDefeat;
  options->picture = app.count("--picture") > 0;
  for (size_t i = 0; i < sizeof valueOptions / sizeof valueOptions[0]; ++i) {
    const std::string name = valueOptions[i].name;
    if (name == "--picture") options->picturePath = values[i];
    if (app.count(name) == 0 || name == "--picture") continue;
    if (values[i].empty()) {
      *error = name + " needs " + valueOptions[i].needs;
      return false;
    }
    uint64_t number = 0;
    if (name == "--block-step") {
      if (!ParseChoice(name, values[i], {1, 2, 4, 8, 16}, "1, 2, 4, 8 or 16 (KiB)", &number, error)) return false;
      options->blockStep = static_cast<uint32_t>(number) * 1024;
    } else if (name == "--test-area") {
      if (!ParseChoice(name, values[i], {1, 2, 4, 8}, "1, 2, 4 or 8 (MiB)", &number, error)) return false;
      options->testAreaSize = number * 1048576;
    } else if (name == "--sweeps") {
      if (!ParseUnsigned(values[i].c_str(), 1000, &number) || number == 0) {
        *error = "--sweeps takes a count from 1 to 1000, not '" + values[i] + "'";
        return false;
      }
      options->sweeps = static_cast<uint32_t>(number);
    } else if (name == "--csv") {
      options->csvPath = values[i];
    } else if (!ParsePictureSize(values[i].c_str(), &options->pictureWidth, &options->pictureHeight)) {
      *error = "--size takes WIDTHxHEIGHT in pixels, each 1 to " + std::to_string(kMaxPictureSide) + ", not '" +
               values[i] + "'";
      return false;
    }
  }
  if (app.count("--size") > 0 && !options->picture) {
    *error = "--size applies only to --picture";
    return false;
  }
  return true;
}
