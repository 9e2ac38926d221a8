// Saved survey results as --compare reads them: per file its context, and per
// thread count each level's figures and the best curves; then the rows that
// set the files' figures side by side.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kCompareGroupCount = 3;  // read, write, copy
extern const char* const compareGroupWords[kCompareGroupCount];
constexpr uint32_t kCompareLevelCount = 4;
extern const char* const compareLevelNames[kCompareLevelCount];  // L1, L2, L3, memory

// One figure of a saved run: the best pass's rate and the range its passes
// spanned; present false where the file says null or lacks the level.
struct CompareFigure {
  bool present = false;
  uint64_t rate = 0, lowest = 0, highest = 0;  // bytes per second
  uint32_t passes = 0;
  std::string kernel;
};

// One thread count of a saved survey.
struct CompareThreadRun {
  uint32_t threads = 0;
  CompareFigure figures[kCompareLevelCount][kCompareGroupCount];
  std::vector<uint64_t> lengths;                       // the curves' block lengths
  std::vector<uint64_t> bestRates[kCompareGroupCount];  // per length, 0 = none
};

// One saved survey file.
struct CompareFile {
  std::string path;
  std::string name;         // the label, else the processor's brand
  std::string date;         // date_utc as written
  std::string toolVersion;
  std::vector<CompareThreadRun> runs;
};

// One run's figure in a row, against the first file's.
struct CompareCell {
  CompareFigure figure;  // not present: the file lacks the count, level or figure
  double ratio = 0;      // rate / the first file's rate; 0 without both
  bool real = false;     // both ranges measured over passes and apart
};

// One thread count, level and group across the files.
struct CompareRow {
  uint32_t threads = 0;
  uint32_t level = 0, group = 0;  // indices into compareLevelNames, compareGroupWords
  std::vector<CompareCell> cells;  // one per file, the first file's first
};

struct Comparison {
  std::vector<CompareRow> rows;
  // Thread counts not every file has, each said once, e.g. "4 threads: only in A".
  std::vector<std::string> unmatched;
  bool singlePass = false;        // some figure compared has one pass: no range to call a difference real
  uint32_t pictureThreads = 0;    // the largest count every file has; 0 for none
};

// "A", "B", ... for the file at index.
std::string CompareFileLetter(size_t index);

// Sets the files side by side, count by count where the first file and at
// least one other have the count. A difference is real only where both
// figures come from more than one pass and their [lowest, highest] ranges do
// not overlap.
Comparison CompareFiles(const std::vector<CompareFile>& files);
bool RangesApart(const CompareFigure& first, const CompareFigure& other);
