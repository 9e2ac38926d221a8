// The core-to-core latency matrix: every ordered pair of the chosen
// processors measured by its own ping-pong, row by row.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "survey/core_pairs.h"
#include "survey/ping_pong.h"

struct CoreToCoreMatrix {
  std::vector<MatrixProcessor> processors;  // rows and columns, in this order
  // One way, row (the line's first processor) by column; 0 on the diagonal.
  std::vector<uint64_t> oneWayPicoseconds;
  // Where each cell's line was first written, as the system said; -1 on the
  // diagonal or where unknown.
  std::vector<int32_t> lineFirstWrittenOn;
  PingPongRule rule;
  bool everyLogicalProcessor = false;
};

struct CoreToCoreProgress {
  uint32_t pairsDone;
  uint32_t pairsTotal;
};

enum CoreToCoreOutcome { MatrixMeasured, MatrixStopped, MatrixFailed };

// Measures every ordered pair of ChooseMatrixProcessors(layout, everyLogical).
// onProgress (when not null) is called before each pair and between its
// samples; false stops the matrix (MatrixStopped). MatrixFailed, with the
// reason in error, when the layout has fewer than two such processors or a
// pair cannot be measured.
CoreToCoreOutcome MeasureCoreToCoreMatrix(const MachineLayout& layout, bool everyLogicalProcessor,
                                          const PingPongRule& rule, uint64_t tscHz,
                                          bool (*onProgress)(const CoreToCoreProgress&, void*), void* context,
                                          CoreToCoreMatrix* matrix, std::string* error);
