// The core-to-core latency mode of lorvanta-sweep.
#pragma once

// Runs lorvanta-sweep --core-to-core with its command line; the process's exit code.
int RunCoreToCoreTool(int argc, const char* const* argv);
