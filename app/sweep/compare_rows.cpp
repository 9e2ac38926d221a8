#include "app/sweep/compare_record.h"

#include <algorithm>

const char* const compareGroupWords[kCompareGroupCount] = {"read", "write", "copy"};
const char* const compareLevelNames[kCompareLevelCount] = {"L1", "L2", "L3", "memory"};

namespace {
const CompareThreadRun* RunWithThreads(const CompareFile& file, uint32_t threads) {
  for (const CompareThreadRun& run : file.runs)
    if (run.threads == threads) return &run;
  return nullptr;
}

std::string ThreadsText(uint32_t threads) {
  return std::to_string(threads) + (threads == 1 ? " thread" : " threads");
}
}  // namespace

std::string CompareFileLetter(size_t index) {
  std::string letter;
  for (++index; index > 0; index = (index - 1) / 26) letter.insert(letter.begin(), static_cast<char>('A' + (index - 1) % 26));
  return letter;
}

bool RangesApart(const CompareFigure& first, const CompareFigure& other) {
  if (!first.present || !other.present || first.passes < 2 || other.passes < 2) return false;
  return other.highest < first.lowest || other.lowest > first.highest;
}

Comparison CompareFiles(const std::vector<CompareFile>& files) {
  Comparison comparison;
  // Every count any file has, ascending; those not in every file are said once.
  std::vector<uint32_t> counts;
  for (const CompareFile& file : files)
    for (const CompareThreadRun& run : file.runs)
      if (std::find(counts.begin(), counts.end(), run.threads) == counts.end()) counts.push_back(run.threads);
  std::sort(counts.begin(), counts.end());
  for (uint32_t threads : counts) {
    std::string holders;
    size_t holderCount = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      if (RunWithThreads(files[i], threads) == nullptr) continue;
      holders += (holderCount++ == 0 ? "" : ", ") + CompareFileLetter(i);
    }
    if (holderCount == files.size()) {
      comparison.pictureThreads = threads;
      continue;
    }
    const bool compared = holderCount > 1 && !files.empty() && RunWithThreads(files[0], threads) != nullptr;
    comparison.unmatched.push_back(ThreadsText(threads) + ": only in " + holders +
                                   (compared ? "; compared where present" : "; not compared"));
  }

  for (uint32_t threads : counts) {
    if (files.empty()) break;
    const CompareThreadRun* first = RunWithThreads(files[0], threads);
    size_t holderCount = 0;
    for (const CompareFile& file : files) holderCount += RunWithThreads(file, threads) != nullptr;
    if (first == nullptr || holderCount < 2) continue;
    for (uint32_t level = 0; level < kCompareLevelCount; ++level) {
      for (uint32_t group = 0; group < kCompareGroupCount; ++group) {
        CompareRow row;
        row.threads = threads;
        row.level = level;
        row.group = group;
        bool any = false;
        const CompareFigure& base = first->figures[level][group];
        for (const CompareFile& file : files) {
          CompareCell cell;
          const CompareThreadRun* run = RunWithThreads(file, threads);
          if (run != nullptr) cell.figure = run->figures[level][group];
          const CompareFigure& figure = cell.figure;
          any = any || figure.present;
          if (figure.present && base.present && base.rate != 0)
            cell.ratio = static_cast<double>(figure.rate) / static_cast<double>(base.rate);
          if (&file != &files[0]) {
            cell.real = RangesApart(base, figure);
            if (figure.present && base.present && (figure.passes < 2 || base.passes < 2))
              comparison.singlePass = true;
          }
          row.cells.push_back(cell);
        }
        if (any) comparison.rows.push_back(row);
      }
    }
  }
  return comparison;
}
