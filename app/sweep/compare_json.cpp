// The comparison as JSON, for programs.
#include <nlohmann/json.hpp>

#include "app/sweep/compare_report.h"

namespace {
using Json = nlohmann::ordered_json;

Json CellJson(size_t index, const CompareCell& cell) {
  const CompareFigure& figure = cell.figure;
  if (!figure.present) return {{"run", CompareFileLetter(index)}, {"bytes_per_second", nullptr}};
  return {{"run", CompareFileLetter(index)},
          {"bytes_per_second", figure.rate},
          {"gb_per_second", static_cast<double>(figure.rate) / 1e9},
          {"lowest_bytes_per_second", figure.lowest},
          {"highest_bytes_per_second", figure.highest},
          {"passes", figure.passes},
          {"kernel", figure.kernel},
          {"ratio_to_first", cell.ratio > 0 ? Json(cell.ratio) : Json()},
          {"real", cell.real}};
}
}  // namespace

std::string FormatCompareJson(const std::vector<CompareFile>& files, const Comparison& comparison) {
  Json runs = Json::array();
  for (size_t i = 0; i < files.size(); ++i) {
    const CompareFile& file = files[i];
    std::vector<uint32_t> threads;
    for (const CompareThreadRun& run : file.runs) threads.push_back(run.threads);
    runs.push_back({{"run", CompareFileLetter(i)}, {"file", file.path}, {"name", file.name}, {"date_utc", file.date},
                    {"tool_version", file.toolVersion}, {"threads", threads}});
  }
  Json rows = Json::array();
  for (const CompareRow& row : comparison.rows) {
    Json cells = Json::array();
    for (size_t i = 0; i < row.cells.size(); ++i) cells.push_back(CellJson(i, row.cells[i]));
    rows.push_back({{"threads", row.threads}, {"level", compareLevelNames[row.level]},
                    {"group", compareGroupWords[row.group]}, {"runs", cells}});
  }
  const Json document = {{"mode", "compare"},
                         {"runs", runs},
                         {"unmatched_threads", comparison.unmatched},
                         {"single_pass", comparison.singlePass},
                         {"figures", rows}};
  return document.dump(2) + "\n";
}
