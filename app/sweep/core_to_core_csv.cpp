// The core-to-core matrix as CSV: a line saying what the figures are, then a
// row per ordered pair.
#include "app/sweep/core_to_core_report.h"
#include "display/quantity_text.h"

std::string FormatCoreToCoreCsv(const CoreToCoreMatrix& matrix) {
  std::string text = "# " + CoreToCoreRuleText(matrix.rule) + "\nfrom,to,one_way_ns,siblings,same_last_level_cache\n";
  const size_t count = matrix.processors.size();
  for (size_t row = 0; row < count; ++row)
    for (size_t column = 0; column < count; ++column) {
      if (row == column) continue;
      const MatrixProcessor &from = matrix.processors[row], &to = matrix.processors[column];
      text += std::to_string(from.processor) + "," + std::to_string(to.processor) + "," +
              DecimalText(matrix.oneWayPicoseconds[row * count + column], 1000, 3) + "," +
              (AreSiblings(from, to) ? "1," : "0,") + (KindOfPair(from, to) <= SameLastLevelCache ? "1\n" : "0\n");
    }
  return text;
}
