// The core-to-core matrix as a person reads it: the context, the rule, the
// matrix in ns (rows from, columns to, a bar between last-level caches, SMT
// siblings marked) and the lowest, median and highest figure of each kind
// of pair.
#include <algorithm>
#include <vector>

#include "app/sweep/core_to_core_report.h"
#include "app/sweep/survey_quantities.h"

const char* const pairKindWords[kPairKindCount] = {"same core (SMT siblings)", "same last-level cache",
                                                   "other last-level cache", "other package",
                                                   "same package, cache sharing unknown"};

PairKind KindOfPair(const MatrixProcessor& a, const MatrixProcessor& b) {
  if (AreSiblings(a, b)) return SameCore;
  if (a.package != b.package) return OtherPackage;
  if (a.lastLevelCache < 0 || b.lastLevelCache < 0) return CacheSharingUnknown;
  return a.lastLevelCache == b.lastLevelCache ? SameLastLevelCache : OtherLastLevelCache;
}

std::string CoreToCoreRuleText(const PingPongRule& rule) {
  return "one-way latency in ns: the median of " + std::to_string(rule.samples) + " samples of " +
         std::to_string(rule.roundTrips) + " round trips each, one way = a sample's time / round trips / 2";
}

namespace {
std::string RightAligned(const std::string& text, size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

std::string Nanoseconds(uint64_t picoseconds) { return DecimalText(picoseconds, 1000, 1); }

// A group boundary lies before index where the last-level cache (or the
// package) changes.
bool GroupStartsAt(const std::vector<MatrixProcessor>& processors, size_t index) {
  return index > 0 && (processors[index].package != processors[index - 1].package ||
                       processors[index].lastLevelCache != processors[index - 1].lastLevelCache);
}

std::string MatrixText(const CoreToCoreMatrix& matrix) {
  const std::vector<MatrixProcessor>& processors = matrix.processors;
  const size_t count = processors.size();
  // Each column as wide as the widest figure with its sibling mark.
  size_t width = 6;
  for (uint64_t picoseconds : matrix.oneWayPicoseconds) width = std::max(width, Nanoseconds(picoseconds).size() + 3);
  std::string text = RightAligned("from\\to", 8);
  for (size_t column = 0; column < count; ++column)
    text += (GroupStartsAt(processors, column) ? " |" : "") + RightAligned(std::to_string(processors[column].processor) + " ", width);
  text.pop_back();
  text += "\n";
  bool siblings = false;
  for (size_t row = 0; row < count; ++row) {
    if (GroupStartsAt(processors, row)) {
      std::string bar = std::string(8, ' ');
      for (size_t column = 0; column < count; ++column)
        bar += (GroupStartsAt(processors, column) ? "-+" : "") + std::string(width, '-');
      text += bar + "\n";
    }
    std::string line = RightAligned(std::to_string(processors[row].processor), 8);
    for (size_t column = 0; column < count; ++column) {
      std::string cell = "- ";
      if (row != column) {
        const bool sibling = AreSiblings(processors[row], processors[column]);
        siblings = siblings || sibling;
        cell = Nanoseconds(matrix.oneWayPicoseconds[row * count + column]) + (sibling ? "s" : " ");
      }
      line += (GroupStartsAt(processors, column) ? " |" : "") + RightAligned(cell, width);
    }
    while (line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  if (siblings) text += "s: SMT siblings, two hardware threads of one core: the line never leaves the core\n";
  return text;
}

// Lowest, median and highest of each kind of pair that the matrix holds.
std::string KindSummary(const CoreToCoreMatrix& matrix) {
  const size_t count = matrix.processors.size();
  std::vector<uint64_t> figures[kPairKindCount];
  for (size_t row = 0; row < count; ++row)
    for (size_t column = 0; column < count; ++column)
      if (row != column)
        figures[KindOfPair(matrix.processors[row], matrix.processors[column])].push_back(
            matrix.oneWayPicoseconds[row * count + column]);
  std::string text;
  for (uint32_t kind = 0; kind < kPairKindCount; ++kind) {
    std::vector<uint64_t>& values = figures[kind];
    if (values.empty()) continue;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    const uint64_t median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    text += std::string(pairKindWords[kind]) + ": lowest " + Nanoseconds(values.front()) + ", median " +
            Nanoseconds(median) + ", highest " + Nanoseconds(values.back()) + " ns (" +
            std::to_string(values.size()) + (values.size() == 1 ? " pair)\n" : " pairs)\n");
  }
  return text;
}
}  // namespace

std::string FormatCoreToCoreText(const CoreToCoreMatrix& matrix, const SurveyMachine& machine,
                                 const RunContext& context, uint64_t elapsedMilliseconds) {
  std::string text = "Lorvanta core-to-core latency: " + machine.identity.vendor + "\n" + ContextHead(machine, context);
  if (!machine.layoutSource.empty()) text += "processors and cache instances: " + machine.layoutSource + "\n";
  text += "time-stamp counter: " + GigahertzText(machine.tscHz) + "\n";
  text += std::string("processors: ") +
          (matrix.everyLogicalProcessor ? "every logical processor" : "one per core, its lowest-numbered thread") +
          "; each ordered pair on a fresh cache line, first written by the row's processor\n";
  text += CoreToCoreRuleText(matrix.rule) + "\n";
  text += "rows: the processor that writes the line first (from); columns: the one it travels to (to); "
          "| between last-level caches\n\n";
  text += MatrixText(matrix) + "\n" + KindSummary(matrix);
  return text + "\nmeasured in " + DecimalText(elapsedMilliseconds, 1000, 1) + " s\n";
}
