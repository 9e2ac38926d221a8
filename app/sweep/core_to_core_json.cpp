// The core-to-core matrix as JSON, for programs: the context, the rule, the
// processors with their core, package and last-level cache, and two
// matrices row by row (from) and column (to), null on the diagonal.
#include "app/sweep/core_to_core_report.h"

namespace {
using Json = nlohmann::ordered_json;
}  // namespace

std::string FormatCoreToCoreJson(const CoreToCoreMatrix& matrix, const SurveyMachine& machine,
                                 const RunContext& context, uint64_t elapsedMilliseconds) {
  const size_t count = matrix.processors.size();
  Json processors = Json::array(), oneWay = Json::array(), firstWritten = Json::array();
  for (size_t row = 0; row < count; ++row) {
    const MatrixProcessor& processor = matrix.processors[row];
    processors.push_back({{"processor", processor.processor},
                          {"core", processor.core},
                          {"package", processor.package},
                          {"last_level_cache", processor.lastLevelCache < 0 ? Json() : Json(processor.lastLevelCache)}});
    Json times = Json::array(), writers = Json::array();
    for (size_t column = 0; column < count; ++column) {
      const size_t cell = row * count + column;
      times.push_back(row == column ? Json() : Json(static_cast<double>(matrix.oneWayPicoseconds[cell]) / 1000));
      const int32_t writer = matrix.lineFirstWrittenOn[cell];
      writers.push_back(writer < 0 ? Json() : Json(writer));
    }
    oneWay.push_back(times);
    firstWritten.push_back(writers);
  }
  Json document = ContextJson("core_to_core", machine, context);
  document.update(Json{{"rule", {{"round_trips", matrix.rule.roundTrips}, {"samples", matrix.rule.samples}}},
                       {"every_logical_processor", matrix.everyLogicalProcessor},
                       {"tsc_hz", machine.tscHz},
                       {"processors", processors},
                       {"one_way_ns", oneWay},
                       {"line_first_written_on", firstWritten},
                       {"elapsed_ms", elapsedMilliseconds}});
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}
