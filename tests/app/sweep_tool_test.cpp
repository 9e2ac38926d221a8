// The headless tool's command line and what it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/sweep/core_to_core_report.h"
#include "app/sweep/loaded_latency_report.h"
#include "app/sweep/options.h"
#include "app/sweep/report.h"
#include "app/sweep/survey_options.h"
#include "app/sweep/survey_quantities.h"
#include "app/sweep/survey_report.h"
#include "record/state.h"
#include "tests/support/state_reset.h"

namespace {
// The options that differ from the defaults, or "refused" (with a one-line error).
std::string Parsed(std::vector<const char*> words) {
  words.insert(words.begin(), "lorvanta-sweep");
  SweepToolOptions o;
  std::string error, out;
  if (!ParseSweepToolOptions(static_cast<int>(words.size()), words.data(), &o, &error))
    return error.empty() || error.find('\n') != std::string::npos ? "bad error: " + error : "refused";
  auto add = [&](bool differs, const std::string& text) { out += differs ? text + " " : ""; };
  add(o.blockStep != 1024, "step=" + std::to_string(o.blockStep));
  add(o.testAreaSize != 2097152, "area=" + std::to_string(o.testAreaSize));
  add(o.fast, "fast");
  add(!o.powerDefeat, "no-defeat");
  add(o.sweeps != 1, "sweeps=" + std::to_string(o.sweeps));
  add(!o.csvPath.empty(), "csv=" + o.csvPath);
  add(o.json, "json");
  add(o.help, "help");
  add(o.picture, "picture=" + o.picturePath);
  add(o.pictureWidth != 684 || o.pictureHeight != 449,  // the window's client area
      "size=" + std::to_string(o.pictureWidth) + "x" + std::to_string(o.pictureHeight));
  return out;
}
}  // namespace

TEST(SweepToolOptions, EveryMenuChoiceAndPictureSizeIsTakenAndAllElseRefused) {
  const struct {
    std::vector<const char*> words;
    const char* parsed;
  } rows[] = {
      {{}, ""},
      {{"--block-step", "16", "--test-area", "8", "--fast", "--sweeps", "3", "--csv", "out.csv", "--json"},
       "step=16384 area=8388608 fast sweeps=3 csv=out.csv json "},
      {{"--block-step", "2", "--test-area", "1"}, "step=2048 area=1048576 "},
      {{"--block-step", "4", "--test-area", "4"}, "step=4096 area=4194304 "},
      {{"--block-step", "8", "--sweeps", "1000", "--no-power-defeat", "--help"}, "step=8192 no-defeat sweeps=1000 help "},
      {{"--picture"}, "picture= "},
      {{"--picture", "--fast"}, "fast picture= "},  // an option is not a file name
      {{"--size", "1280X800", "--picture", "out.bmp", "--json"}, "json picture=out.bmp size=1280x800 "},
      {{"--picture", "--size", "1x8192"}, "picture= size=1x8192 "},
  };
  for (const auto& row : rows) EXPECT_EQ(Parsed(row.words), row.parsed) << row.words.size();
  const std::vector<std::vector<const char*>> refused = {
      {"--block-step", "3"}, {"--block-step", "32"}, {"--block-step", "1k"}, {"--block-step"},
      {"--test-area", "16"}, {"--test-area", "0"},   {"--test-area", "-1"},  {"--sweeps", "0"},
      {"--sweeps", "1001"},  {"--sweeps", "x"},      {"--csv"},              {"--csv", "--json"},
      {"--verbose"},         {"extra"},              {"--block-step", "99999999999999999999999"},
      {"--picture", "--size", "0x10"}, {"--picture", "--size", "8193x10"}, {"--picture", "--size", "10x"},
      {"--picture", "--size", "x10"},  {"--picture", "--size", "10*10"},   {"--picture", "--size", "-5x10"},
      {"--picture", "--size"},         {"--size", "640x480"},              {"--picture", ""}};
  for (const auto& words : refused) EXPECT_EQ(Parsed(words), "refused") << words[0] << " " << words.size();
}

TEST(SweepToolReport, FiguresAsThePanelFormatsThemEmptyMemorySpelledOutAndTheCsv) {
  ResetMeasurementStateForTest();
  measurementState.testAreaSize = 8388608;
  measurementState.blockStep = 16384;
  ResetResultArrays();
  // Entry 2 (offset 32 KiB) is in the default L1 window, entry 16 (256 KiB)
  // in the L2 window; nothing beyond 2 MiB is measured yet.
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates}) {
    rates[2] = (3ull << 30) + (999ull << 20) + 5;
    rates[16] = 1ull << 30;
  }
  measurementState.clockHz = 2394123456;
  std::string summary = FormatSummary({"GenuineIntel", 1, 61234});
  for (const char* piece : {"Taktfrequenz: 2394.123 MHz\n", "L1 Cache Kopieren: 3.999 GiB/s\n",
                            "L2 Cache Lesen: 1.000 GiB/s\n", "Speicher Schreiben: none", "61.234 s",
                            "L1 data cache 64 KiB, L2 cache 512 KiB"})
    EXPECT_NE(summary.find(piece), std::string::npos) << piece << " in\n" << summary;

  // Two memory entries whose read rates add up to 3 GiB/s: a mean of 1.512.
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates}) {
    rates[200] = 1ull << 30;
    rates[201] = 2ull << 30;
  }
  EXPECT_NE(FormatSummary({"x", 1, 0}).find("Speicher Lesen: 1.512 GiB/s\n"), std::string::npos);
  // A vendor text with a quote stays one JSON string.
  const nlohmann::json json = nlohmann::json::parse(FormatJson({"x\"y", 1, 0}));
  EXPECT_TRUE(json["vendor"] == "x\"y" && json["bytesPerSecond"]["memory"]["read"] == 1610612736u &&
              json["memoryBlocks"] == 2u) << json.dump();

  // One row per block with its length, the last 2048 + 510 * 16384.
  measurementState.readRates[0] = 11, measurementState.writeRates[0] = 22, measurementState.copyRates[0] = 33;
  const std::string csv = FormatCsv();
  EXPECT_NE(csv.find("\n2048,11,22,33\n"), std::string::npos);
  EXPECT_EQ(csv.substr(csv.size() - 15), "\n8357888,0,0,0\n");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 511);
  ResetMeasurementStateForTest();
}

// The survey's sizes: parsed with units, shown in the largest unit, rounded.
TEST(SurveyQuantities, SizesWithUnitsAndRoundedDecimals) {
  const struct { const char* text; bool ok; uint64_t bytes; } rows[] = {
      {"64MiB", true, uint64_t{64} << 20}, {"64 M", true, uint64_t{64} << 20}, {"512k", true, 512u << 10}, {"4096", true, 4096},
      {"2G", true, uint64_t{2} << 30}, {"12B", true, 12}, {"1.5M", false, 0}, {"64MB", false, 0}, {"M", false, 0}, {"", false, 0},
      {"-1", false, 0}, {"99999999999G", false, 0}};
  for (const auto& row : rows) {
    uint64_t bytes = 0;
    std::string error;  // a refusal says why
    EXPECT_TRUE(ParseByteSize(row.text, &bytes, &error) == row.ok && (row.ok ? bytes == row.bytes : !error.empty())) << row.text;
  }
  EXPECT_EQ(ByteSizeText(1536) + ", " + ByteSizeText(uint64_t{256} << 20) + ", " + ByteSizeText(100) + ", " + ByteSizeText(2944),
            "1.5 KiB, 256 MiB, 100 B, 2.9 KiB");
  EXPECT_EQ(DecimalText(2, 3, 2) + " " + DecimalText(112345000000, 1000000000, 2) + " " + DecimalText(7, 1, 0), "0.67 112.35 7");
}

// The survey's report: a figure's spread over the passes, the unstable mark
// past 10%, and the one-thread latency shown in every run's table.
TEST(SurveyReport, SpreadUnstableMarkAndLatencyInEveryTable) {
  const struct { uint64_t lowest, highest; uint32_t percent; bool unstable; } rows[] = {
      {90, 100, 10, false}, {89, 100, 11, true}, {899, 1000, 10, true}, {885, 1000, 12, true}, {0, 0, 0, false}, {100, 100, 0, false}};
  for (const auto& row : rows) {
    const LevelFigure figure{true, row.highest, 0, 1, row.lowest, row.highest};
    EXPECT_TRUE(SpreadPercent(figure) == row.percent && FigureUnstable(figure) == row.unstable) << row.lowest;
  }

  SurveyRecord record;
  record.machine.caches = {SurveyCache{"L1", 1, 32768, 64, 1}};
  record.latency.measured = true;
  record.latency.levels = {LevelFigure{true, 1000, 0, 1, 0, 0}, LevelFigure{}};
  for (uint32_t threads : {1u, 2u}) {
    SurveyRun run;
    run.threads = threads;
    run.passes = threads;  // the one-pass run has no spread to show
    run.lengths = {4096};
    run.levels.resize(2);
    run.levels[0].name = "L1";
    run.levels[0].figures[GroupRead] = LevelFigure{true, 100, 0, 1, 80, 100};
    run.levels[1].name = "memory";
    record.runs.push_back(run);
  }
  const std::string text = FormatSurveyText(record, SurveyFacts());
  const size_t second = text.find("\n2 threads");
  ASSERT_NE(second, std::string::npos) << text;
  for (const std::string& table : {text.substr(0, second), text.substr(second)})
    EXPECT_NE(table.find("1.00 ns"), std::string::npos) << table;
  EXPECT_TRUE(text.find(" - ") < second && text.find("20%*") > second && text.find("* unstable") > second) << text;
}

// The core-to-core table and CSV over two packages, two last-level caches in
// the first and one core's two threads: bars between the groups, siblings
// marked, each kind of pair summed up apart; cell (r, c) is 10 r + c ns.
TEST(CoreToCoreReport, GroupBarsSiblingMarksAndKindsOfPairs) {
  CoreToCoreMatrix matrix;
  matrix.processors = {{0, 0, 0, 0}, {2, 0, 0, 0}, {1, 1, 0, 1}, {3, 2, 1, 2}};
  for (uint64_t row = 0; row < 4; ++row)
    for (uint64_t column = 0; column < 4; ++column)
      matrix.oneWayPicoseconds.push_back(row == column ? 0 : (10 * row + column) * 1000);
  matrix.lineFirstWrittenOn.assign(16, -1);
  matrix.rule = kPingPongRule;
  const std::string text = FormatCoreToCoreText(matrix, SurveyMachine(), RunContext(), 0);
  size_t bars = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) bars += line.find("-+") != std::string::npos;
  EXPECT_EQ(bars, 2u) << text;
  EXPECT_TRUE(text.find(" 1.0s") != std::string::npos && text.find(" 10.0s") != std::string::npos &&
              text.find("2.0s") == std::string::npos && text.find("\ns: SMT siblings") != std::string::npos) << text;
  for (const char* line : {"\nsame core (SMT siblings): lowest 1.0, median 5.5, highest 10.0 ns (2 pairs)\n",
                           "\nother last-level cache: lowest 2.0, median 16.0, highest 21.0 ns (4 pairs)\n",
                           "\nother package: lowest 3.0, median 26.5, highest 32.0 ns (6 pairs)\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  EXPECT_EQ(text.find("same last-level cache:"), std::string::npos) << text;
  const std::string csv = FormatCoreToCoreCsv(matrix);
  EXPECT_TRUE(csv.find("\n2,0,10.000,1,1\n") != std::string::npos && csv.find("\n1,3,23.000,0,0\n") != std::string::npos &&
              csv.find("\n0,1,2.000,0,0\n") != std::string::npos && std::count(csv.begin(), csv.end(), '\n') == 14) << csv;
}

// The loaded-latency figures in the table, CSV and JSON of a made-up mix
// curve at a 3 GHz core: latency in cycles from ns, the delay achieved in
// cycles, bandwidth in GB/s, and the idle latency apart from the points.
TEST(LoadedLatencyReport, FiguresInEveryFormat) {
  LoadedLatencyRun run;
  run.setup = LoadedLatencySetup{{0, 1}, 8u << 20, false, 64, 300000000, 3000000000, ChooseLoadedKernels(IsaMmx), 0, {}};
  LoadedLatencyCurve curve;
  curve.traffic = TrafficMix;
  curve.coreHz = 3000000000;
  curve.bufferBytes = 8u << 20;
  curve.threads = 2;
  curve.idleLatencyPicoseconds = 100250;
  curve.points = {{0, 0, 5430000000, 480200}, {1024, 103612, 250000000, 120000}};
  run.curves = {curve};
  const std::string text = FormatLoadedLatencyText(run, SurveyMachine(), RunContext(), 0);
  for (const char* piece : {"mix traffic (ReadMmx 2 : WriteMmxNonTemporal 1)", "idle latency 100.3 ns (300.8 cycles)",
                            "\n             0        0.0             5.43        480.2           1440.6\n",
                            "\n          1024     1036.1             0.25        120.0            360.0\n"})
    EXPECT_NE(text.find(piece), std::string::npos) << piece << "\n" << text;
  const std::string csv = FormatLoadedLatencyCsv(run);
  EXPECT_NE(csv.find("\nmix,ReadMmx 2 : WriteMmxNonTemporal 1,idle,,,0,100.250,300.8\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\nmix,ReadMmx 2 : WriteMmxNonTemporal 1,loaded,1024,1036.12,250000000,120.000,360.0\n"),
            std::string::npos) << csv;
  const nlohmann::json json = nlohmann::json::parse(FormatLoadedLatencyJson(run, SurveyMachine(), RunContext(), 0));
  const nlohmann::json& point = json["curves"][0]["points"][0];
  EXPECT_TRUE(json["mode"] == "loaded_latency" && json["min_point_ms"] == 100.0 && point["latency_cycles"] == 1440.6 &&
              point["gb_per_second"] == 5.43 && json["curves"][0]["idle_latency_ns"] == 100.25) << json.dump(1);
}
