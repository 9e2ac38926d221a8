// The survey's table, as a person reads it: the machine, the settings, then
// per run its threads' places and each level's figures, and the scaling.
#include <algorithm>
#include <cstdio>

#include "app/sweep/machine_context.h"
#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"
#include "app/tool_version.h"

const char* const surveyGroupWords[kSurveyGroupCount] = {"read", "write", "copy"};

std::string SurveyAbsenceAdvice(const SurveyLevel& level) {
  const WhyAbsent& why = level.absent;
  const LevelWindow& window = level.window;
  switch (why.absence) {
    case NoCacheSizes: return "the processor reported no cache sizes";
    case LevelTooClose: return "the level is not more than four times the one below: no length lies clear of both";
    case BeyondLargest: return "raise --max-size to " + ByteSizeText(why.neededSize);
    case BelowFirstLength: return "the level is smaller than twice the first length (2 KiB)";
    case SteppedOver:
      return "no length lies between " + ByteSizeText(window.low) + " and " + ByteSizeText(window.high) +
             ": raise --points-per-doubling";
    default: return "";
  }
}

namespace {
std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string RightAligned(const std::string& text, size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// Rate of all threads, bytes per cycle per thread, the spread over the passes
// ('*' past the unstable mark) and kernel, the numbers right-aligned so that
// the columns line up.
std::string FigureCell(const SurveyRun& run, const LevelFigure& figure) {
  if (!figure.present) return "-";
  std::string cell = RightAligned(GigabytesPerSecondText(figure.rate), 11);
  if (run.coreHz != 0) cell += RightAligned(BytesPerCycleText(figure.rate / run.threads, run.coreHz), 15);
  const bool spread = run.passes > 1;  // one pass has no spread to tell
  cell += RightAligned(spread ? std::to_string(SpreadPercent(figure)) + "%" + (FigureUnstable(figure) ? "*" : " ") : "- ", 6);
  return cell + "  " + surveyKernels[figure.kernel].name;
}

std::string ByteSizeRange(const LevelShare& share) {
  if (share.smallest == share.largest) return ByteSizeText(share.smallest);
  return ByteSizeText(share.smallest) + "-" + ByteSizeText(share.largest);
}

std::string LevelSize(const SurveyLevel& level) {
  return level.share.largest != 0 ? ByteSizeRange(level.share) : ">= " + ByteSizeText(level.window.low + 1);
}


std::string ThreadsAndBinding(const SurveyRun& run) {
  std::string text = std::to_string(run.threads) + (run.threads == 1 ? " thread" : " threads");
  if (!run.placement.bound) return text + ", unbound";
  text += ", bound to processor" + std::string(run.placement.threads.size() == 1 ? " " : "s ");
  for (size_t i = 0; i < run.placement.threads.size(); ++i)
    text += (i ? "," : "") + std::to_string(run.placement.threads[i].processor);
  return text;
}

// Where the threads run, each one's share of the caches, the pages the
// buffers got and the threads' clocks.
std::string RunHead(const SurveyRecord& record, const SurveyRun& run) {
  std::string text = ThreadsAndBinding(run) + "; buffers 2 x " + ByteSizeText(run.lengths.back()) +
                     " per thread, " + ByteSizeText(run.hugePageBytes) + " of them on huge pages (as the system reports" +
                     (record.settings.hugePages ? "; asked for)\n" : "; not asked for)\n");
  for (size_t i = 0; i < run.placement.threads.size(); ++i)
    text += "  " + DescribeThreadPlace(static_cast<uint32_t>(i), run.placement.threads[i]) + "\n";
  if (run.placement.sharesCores)
    text += "  note: more threads than cores: some threads share a core with another (hardware threads)\n";
  text += "  each thread's share of the caches";
  text += run.placement.sharesFromCounts ? " (from CPUID's counts of sharing processors; the system gave no cache sets):"
                                         : " (from the system's cache sets):";
  for (size_t level = 0; level < run.placement.shares.size() && level < record.machine.caches.size(); ++level)
    text += std::string(level ? ", " : " ") + record.machine.caches[level].name + " " + ByteSizeRange(run.placement.shares[level]);
  text += "\n  core clock per thread, measured on all threads at once after their widest kernel ran:";
  for (size_t i = 0; i < run.threadCoreHz.size(); ++i)
    text += std::string(i ? ", " : " ") + (run.threadCoreHz[i] != 0 ? GigahertzText(run.threadCoreHz[i]) : "?");
  return text + "\n";
}

std::string RunTable(const SurveyRecord& record, const SurveyRun& run) {
  const bool latency = record.latency.measured;
  // Each group's column as wide as its widest cell.
  size_t widths[kSurveyGroupCount] = {6, 6, 6};
  bool unstable = false;
  for (const SurveyLevel& level : run.levels)
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      widths[group] = std::max(widths[group], FigureCell(run, level.figures[group]).size() + 3);
      unstable = unstable || (run.passes > 1 && level.figures[group].present && FigureUnstable(level.figures[group]));
    }
  std::string text = Padded("level", 8) + Padded("size", 20) + Padded("read", widths[0]) + Padded("write", widths[1]) +
                     (latency ? Padded("copy", widths[2]) + "latency (1 thread)\n" : "copy\n");
  for (size_t index = 0; index < run.levels.size(); ++index) {
    const SurveyLevel& level = run.levels[index];
    std::string row = Padded(level.name, 8) + Padded(LevelSize(level), 20);
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group)
      row += Padded(FigureCell(run, level.figures[group]), widths[group]);
    if (latency && index < record.latency.levels.size() && record.latency.levels[index].present)
      row += LatencyText(record.latency.levels[index].rate, record.latency.coreHz);
    while (!row.empty() && row.back() == ' ') row.pop_back();
    text += row + "\n";
    if (level.absent.absence != LevelPresent) text += "        no figure: " + SurveyAbsenceAdvice(level) + "\n";
  }
  if (unstable)
    text += "* unstable: the figure's passes spread by more than " + std::to_string(unstableSpreadPercent) +
            "%; something disturbed the measurement (other programs, a clock change); more passes (--repeats " +
            std::to_string(2 * record.settings.repeats) + ") on a quieter machine steady it\n";
  return text;
}

// Per level and group: the rate of each thread count and its speed-up over
// the first run.
std::string ScalingTable(const SurveyRecord& record) {
  std::string text = "\nscaling (GB/s, and speed-up over " + std::to_string(record.runs[0].threads) +
                     (record.runs[0].threads == 1 ? " thread" : " threads") + "):\n" + Padded("level", 14);
  for (const SurveyRun& run : record.runs) text += Padded(std::to_string(run.threads) + " thr", 20);
  while (text.back() == ' ') text.pop_back();
  text += "\n";
  for (size_t level = 0; level < record.runs[0].levels.size(); ++level) {
    for (uint32_t group = 0; group < kSurveyGroupCount; ++group) {
      const LevelFigure& base = record.runs[0].levels[level].figures[group];
      std::string row = Padded(record.runs[0].levels[level].name + " " + surveyGroupWords[group], 14);
      for (const SurveyRun& run : record.runs) {
        const LevelFigure& figure = level < run.levels.size() ? run.levels[level].figures[group] : base;
        std::string cell = figure.present ? DecimalText(figure.rate, 1000000000u, 2) : std::string("-");
        if (figure.present && base.present && base.rate != 0) cell += " (x" + DecimalText(figure.rate, base.rate, 2) + ")";
        row += Padded(cell, 20);
      }
      while (!row.empty() && row.back() == ' ') row.pop_back();
      text += row + "\n";
    }
  }
  return text;
}
}  // namespace

std::string FormatSurveyText(const SurveyRecord& record, const SurveyFacts& facts) {
  const SurveySettings& settings = record.settings;
  const SurveyMachine& machine = record.machine;
  std::string text = "Lorvanta survey: " + machine.identity.vendor + "\n" + ContextHead(machine, facts);
  text += "caches (" + machine.cacheSource + "):\n";
  for (const std::string& line : machine.cacheDescriptions) text += "  " + line + "\n";
  if (!machine.cacheWarning.empty()) text += "warning: " + machine.cacheWarning + "\n";
  if (!machine.layoutSource.empty()) text += "processors and cache instances: " + machine.layoutSource + "\n";
  text += "clock: core " +
          (record.machine.coreHz != 0 ? GigahertzText(record.machine.coreHz) + " (measured before the runs, unbound)" : std::string("unknown")) +
          ", time-stamp counter " + GigahertzText(record.machine.tscHz) + "\n";
  const uint64_t largest = record.runs.empty() || record.runs[0].lengths.empty() ? 0 : record.runs[0].lengths.back();
  char line[256];
  std::snprintf(line, sizeof line,
                "lengths: %zu per thread from 2 KiB to %s, %u per doubling; each measurement at least %llu us, best of %u passes\n",
                record.runs.empty() ? size_t{0} : record.runs[0].lengths.size(), ByteSizeText(largest).c_str(),
                settings.pointsPerDoubling, static_cast<unsigned long long>(settings.minTimeNanoseconds / 1000),
                settings.repeats);
  text += line;
  if (facts.maxSizeCapped)
    text += "note: the largest length was capped so that every thread's two buffers fit in half of the " +
            ByteSizeText(facts.availableMemory) + " of free memory\n";
  if (!record.runs.empty()) {
    text += "kernels:";
    for (uint32_t index : record.runs[0].kernels) text += std::string(" ") + surveyKernels[index].name;
    text += "\n";
  }
  text += "figures: GB/s of all threads together (10^9 bytes per second), bytes per core cycle per thread, the "
          "spread over the passes ((highest - lowest) / highest), the kernel\n" + std::string(copyAccounting) + "\n";
  if (record.latency.measured)
    text += "latency: one thread alone" +
            (record.latency.placement.bound ? " on processor " + std::to_string(record.latency.placement.threads[0].processor)
                                            : std::string(", unbound")) +
            ", a random pointer chase over the block's lines; cycles at its core clock " +
            (record.latency.coreHz != 0 ? GigahertzText(record.latency.coreHz) : std::string("?")) + "\n";
  for (const SurveyRun& run : record.runs) text += "\n" + RunHead(record, run) + RunTable(record, run);
  if (record.runs.size() > 1) text += ScalingTable(record);
  std::snprintf(line, sizeof line, "\nsurvey took %llu.%01llu s\n",
                static_cast<unsigned long long>(facts.elapsedMilliseconds / 1000),
                static_cast<unsigned long long>(facts.elapsedMilliseconds % 1000 / 100));
  return text + line;
}
