// lorvanta-sweep --compare: saved surveys side by side.
#pragma once

// Runs the comparison from the command line (which holds --compare); the
// process's exit code: 0 done, 2 bad input (nothing written), 1 a failed write.
int RunCompareTool(int argc, const char* const* argv);
