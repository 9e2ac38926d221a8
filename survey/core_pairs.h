// The processors a core-to-core latency matrix covers and the order of its
// rows: one hardware thread per core unless every logical processor is
// asked for, grouped by package and last-level cache instance so that each
// shared cache shows as one block of the matrix.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/survey/processors.h"

struct MatrixProcessor {
  uint32_t processor;  // OS number
  uint32_t core;
  uint32_t package;
  int32_t lastLevelCache;  // index among the layout's last-level instances; -1 where unknown
};

// One per core (its lowest-numbered hardware thread), or every logical
// processor with everyLogicalProcessor; ordered by package, last-level cache
// instance, core, then OS number.
std::vector<MatrixProcessor> ChooseMatrixProcessors(const MachineLayout& layout, bool everyLogicalProcessor);

// An ordered pair of the matrix: the line starts at `from`, whose thread
// writes it first; (a, b) and (b, a) are measured separately.
struct MatrixPair {
  uint32_t from;  // index into the chosen processors
  uint32_t to;
};
// Every ordered pair of count processors, row by row: (0,1), (0,2), ..., (1,0), ...
std::vector<MatrixPair> MatrixPairs(uint32_t count);

// Two hardware threads of one core (cores are numbered over the machine):
// their line never leaves the core.
inline bool AreSiblings(const MatrixProcessor& a, const MatrixProcessor& b) {
  return a.core == b.core;
}
