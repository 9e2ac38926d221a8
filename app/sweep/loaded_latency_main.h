// The loaded-latency mode of lorvanta-sweep.
#pragma once

// Runs lorvanta-sweep --loaded-latency with its command line; the process's exit code.
int RunLoadedLatencyTool(int argc, const char* const* argv);
