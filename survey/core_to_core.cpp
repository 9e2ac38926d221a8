#include "survey/core_to_core.h"

namespace {
struct ProgressCall {
  bool (*onProgress)(const CoreToCoreProgress&, void*);
  void* context;
  CoreToCoreProgress where;
};

bool KeepGoing(void* call) {
  const ProgressCall& progress = *static_cast<ProgressCall*>(call);
  return progress.onProgress == nullptr || progress.onProgress(progress.where, progress.context);
}
}  // namespace

CoreToCoreOutcome MeasureCoreToCoreMatrix(const MachineLayout& layout, bool everyLogicalProcessor,
                                          const PingPongRule& rule, uint64_t tscHz,
                                          bool (*onProgress)(const CoreToCoreProgress&, void*), void* context,
                                          CoreToCoreMatrix* matrix, std::string* error) {
  *matrix = CoreToCoreMatrix();
  matrix->processors = ChooseMatrixProcessors(layout, everyLogicalProcessor);
  matrix->rule = rule;
  matrix->everyLogicalProcessor = everyLogicalProcessor;
  const uint32_t count = static_cast<uint32_t>(matrix->processors.size());
  if (count < 2) {
    *error = "core-to-core latency needs two processors; this process may run on " + std::to_string(count);
    return MatrixFailed;
  }
  matrix->oneWayPicoseconds.assign(size_t{count} * count, 0);
  matrix->lineFirstWrittenOn.assign(size_t{count} * count, -1);
  const std::vector<MatrixPair> pairs = MatrixPairs(count);
  ProgressCall progress{onProgress, context, {0, static_cast<uint32_t>(pairs.size())}};
  for (const MatrixPair& pair : pairs) {
    if (!KeepGoing(&progress)) return MatrixStopped;
    const uint32_t from = matrix->processors[pair.from].processor, to = matrix->processors[pair.to].processor;
    PingPongResult result;
    const PingPongOutcome outcome = MeasurePingPong(from, to, rule, tscHz, KeepGoing, &progress, &result, error);
    if (outcome == PingPongStopped) return MatrixStopped;
    if (outcome == PingPongFailed) {
      *error = "processors " + std::to_string(from) + " and " + std::to_string(to) + ": " + *error;
      return MatrixFailed;
    }
    const size_t cell = size_t{pair.from} * count + pair.to;
    matrix->oneWayPicoseconds[cell] = result.oneWayPicoseconds;
    matrix->lineFirstWrittenOn[cell] = result.lineFirstWrittenOn;
    ++progress.where.pairsDone;
  }
  return MatrixMeasured;
}
