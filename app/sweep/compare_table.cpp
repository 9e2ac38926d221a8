// The comparison as a text table for people.
#include <cstdio>

#include "app/sweep/compare_report.h"

namespace {
std::string Printed(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The passes' spread as the survey shows it: (highest - lowest) / highest;
// "-" for a single pass.
std::string SpreadText(const CompareFigure& figure) {
  if (!figure.present) return "";
  if (figure.passes < 2 || figure.highest == 0) return "-";
  const double spread = static_cast<double>(figure.highest - figure.lowest) * 100 / static_cast<double>(figure.highest);
  return Printed("%.0f%%", spread);
}

std::string Padded(const std::string& text, size_t width, bool right) {
  if (text.size() >= width) return text;
  const std::string pad(width - text.size(), ' ');
  return right ? pad + text : text + pad;
}
}  // namespace

std::string ThreadCountsText(const CompareFile& file) {
  std::string text;
  for (const CompareThreadRun& run : file.runs) text += (text.empty() ? "" : ", ") + std::to_string(run.threads);
  return text;
}

std::string FormatCompareText(const std::vector<CompareFile>& files, const Comparison& comparison) {
  std::string text;
  for (size_t i = 0; i < files.size(); ++i) {
    const CompareFile& file = files[i];
    text += CompareFileLetter(i) + "  " + file.path + ": " + file.name + ", " + file.date + ", lorvanta-sweep " +
            file.toolVersion + ", threads " + ThreadCountsText(file) + "\n";
  }
  for (const std::string& line : comparison.unmatched) text += line + "\n";

  uint32_t threads = 0;
  for (const CompareRow& row : comparison.rows) {
    if (row.threads != threads) {
      threads = row.threads;
      std::string head = "\n" + std::to_string(threads) + (threads == 1 ? " thread\n" : " threads\n") + "level   group";
      for (size_t i = 0; i < files.size(); ++i) {
        head += Padded(CompareFileLetter(i) + " GB/s", 12, true) + Padded("spread", 8, true);
        if (i > 0) head += Padded("vs A", 8, true) + (i + 1 < files.size() ? "  " : "");
      }
      text += head + "\n";
    }
    std::string line = Padded(compareLevelNames[row.level], 8, false) + Padded(compareGroupWords[row.group], 5, false);
    for (size_t i = 0; i < row.cells.size(); ++i) {
      const CompareCell& cell = row.cells[i];
      const CompareFigure& figure = cell.figure;
      line += Padded(figure.present ? Printed("%.2f", static_cast<double>(figure.rate) / 1e9) : "-", 12, true);
      line += Padded(SpreadText(figure), 8, true);
      if (i == 0) continue;
      line += Padded(cell.ratio > 0 ? Printed("%.2fx", cell.ratio) : "-", 8, true);
      line += cell.real ? " *" : "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  if (comparison.rows.empty()) text += "\nno thread count that the first file and another share: nothing compared\n";
  text += "\n* a real difference: the two runs' ranges over their passes [lowest, highest] do not overlap\n";
  if (comparison.singlePass)
    text += "runs with --repeats 1 have a single pass and no range: they cannot show a real difference\n";
  return text;
}
