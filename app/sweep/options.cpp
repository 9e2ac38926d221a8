#include "app/sweep/options.h"


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

static bool OneOf(uint64_t value, std::initializer_list<uint64_t> choices) {
  for (uint64_t choice : choices)
    if (value == choice) return true;
  return false;
}

bool ParseSweepToolOptions(int argc, const char* const* argv, SweepToolOptions* options, std::string* error) {
  *options = SweepToolOptions();
  bool sizeGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    uint64_t number = 0;
    auto needValue = [&](const char* what) {
      *error = option + " needs " + what;
      return false;
    };
    if (option == "--help" || option == "-h") {
      options->help = true;
    } else if (option == "--fast") {
      options->fast = true;
    } else if (option == "--no-power-defeat") {
      options->powerDefeat = false;
    } else if (option == "--json") {
      options->json = true;
    } else if (option == "--block-step") {
      if (value == nullptr) return needValue("a value: 1, 2, 4, 8 or 16");
      if (!ParseUnsigned(value, 1000, &number) || !OneOf(number, {1, 2, 4, 8, 16})) {
        *error = std::string("--block-step takes 1, 2, 4, 8 or 16 (KiB), not '") + value + "'";
        return false;
      }
      options->blockStep = static_cast<uint32_t>(number) * 1024;
      ++i;
    } else if (option == "--test-area") {
      if (value == nullptr) return needValue("a value: 1, 2, 4 or 8");
      if (!ParseUnsigned(value, 1000, &number) || !OneOf(number, {1, 2, 4, 8})) {
        *error = std::string("--test-area takes 1, 2, 4 or 8 (MiB), not '") + value + "'";
        return false;
      }
      options->testAreaSize = number * 1048576;
      ++i;
    } else if (option == "--sweeps") {
      if (value == nullptr) return needValue("a count from 1 to 1000");
      if (!ParseUnsigned(value, 1000, &number) || number == 0) {
        *error = std::string("--sweeps takes a count from 1 to 1000, not '") + value + "'";
        return false;
      }
      options->sweeps = static_cast<uint32_t>(number);
      ++i;
    } else if (option == "--csv") {
      if (value == nullptr || value[0] == '\0' || (value[0] == '-' && value[1] == '-')) return needValue("a file name");
      options->csvPath = value;
      ++i;
    } else if (option == "--picture") {
      // The file is optional: a following word that does not start with '-'
      // names it (write ./-name for a file whose name starts with '-').
      options->picture = true;
      if (value != nullptr && value[0] != '-') {
        if (value[0] == '\0') return needValue("a file name, not an empty one");
        options->picturePath = value;
        ++i;
      }
    } else if (option == "--size") {
      if (value == nullptr) return needValue("a size such as 800x600");
      if (!ParsePictureSize(value, &options->pictureWidth, &options->pictureHeight)) {
        *error = std::string("--size takes WIDTHxHEIGHT in pixels, each 1 to ") + std::to_string(kMaxPictureSide) +
                 ", not '" + value + "'";
        return false;
      }
      sizeGiven = true;
      ++i;
    } else {
      *error = "unknown option '" + option + "'";
      return false;
    }
  }
  if (sizeGiven && !options->picture) {
    *error = "--size applies only to --picture";
    return false;
  }
  return true;
}
