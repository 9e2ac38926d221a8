// Command line of the loaded latency (lorvanta-sweep --loaded-latency),
// parsed with CLI11.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/sweep/machine_context.h"
#include "app/sweep/picture_file.h"
#include "survey/loaded_latency.h"

struct LoadedLatencyToolOptions {
  std::vector<LoadedTraffic> traffic;  // in the order measured; every kind by default
  std::vector<uint32_t> delays;        // core cycles, ascending; empty: 0, 16, 32, ... until the traffic fades
  std::string threadsText = "all";     // the chaser and the loaders: N (2 or more) or all
  uint64_t bufferBytes = 0;            // every thread's; 0: 8 x the last-level cache
  bool hugePages = false;
  uint64_t minTimeNanoseconds = 100000000;  // every point lasts at least this on the chaser
  bool json = false;
  std::string csvPath;      // empty: no CSV
  bool picture = false;
  std::string picturePath;  // empty: the next free loaded-latency-N.png
  PictureFormat pictureFormat = PictureFormat::Png;  // named by picturePath's extension
  int32_t pictureWidth = 1200;
  int32_t pictureHeight = 800;
  RunContext context;  // the label; the date is set when the run starts
  bool help = false;
  bool version = false;
};

// The traffic kinds' words, "read", "write", "copy", "mix", by LoadedTraffic.
extern const char* const loadedTrafficWords[4];

// True when the command line asks for the loaded latency.
bool WantsLoadedLatency(int argc, const char* const* argv);
// Parses argv (which holds --loaded-latency) into options. On bad input (a
// delay that is no whole number of cycles, an unknown traffic kind, a
// duration below 100 ms, another mode's option) returns false with one line
// in error.
bool ParseLoadedLatencyOptions(int argc, const char* const* argv, LoadedLatencyToolOptions* options,
                               std::string* error);
std::string LoadedLatencyUsage();
// The run's thread count from --threads for a process that may run on
// `available` processors: 2 to available; false with one line otherwise.
bool ResolveLoadedThreads(const std::string& text, uint32_t available, uint32_t* threads, std::string* error);
