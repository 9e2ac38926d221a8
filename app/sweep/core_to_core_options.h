// Command line of the core-to-core latency matrix
// (lorvanta-sweep --core-to-core), parsed with CLI11.
#pragma once
#include <cstdint>
#include <string>

#include "app/sweep/machine_context.h"
#include "app/sweep/picture_file.h"
#include "survey/ping_pong.h"

struct CoreToCoreToolOptions {
  bool everyLogicalProcessor = false;  // --all-logical: every hardware thread, not one per core
  PingPongRule rule = kPingPongRule;
  bool json = false;
  std::string csvPath;        // empty: no CSV
  bool picture = false;
  std::string picturePath;    // empty: the next free core-to-core-N.png
  PictureFormat pictureFormat = PictureFormat::Png;  // named by picturePath's extension
  int32_t pictureWidth = 1000;
  int32_t pictureHeight = 900;
  RunContext context;         // the label; the date is set when the run starts
  bool help = false;
  bool version = false;
};

// True when the command line asks for the core-to-core matrix.
bool WantsCoreToCore(int argc, const char* const* argv);
// Parses argv (which holds --core-to-core) into options. On bad input
// (a number that is none or below the rule's least, another mode's option)
// returns false with one line in error.
bool ParseCoreToCoreOptions(int argc, const char* const* argv, CoreToCoreToolOptions* options, std::string* error);
std::string CoreToCoreUsage();
