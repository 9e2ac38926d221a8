// The headless tool's command line and what it reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/sweep/options.h"
#include "app/sweep/report.h"
#include "measure/state.h"
#include "tests/support/state_reset.h"

namespace {
SweepToolOptions Parse(std::vector<const char*> words, bool expectAccepted = true) {
  words.insert(words.begin(), "lorvanta-sweep");
  SweepToolOptions options;
  std::string error;
  const bool accepted = ParseSweepToolOptions(static_cast<int>(words.size()), words.data(), &options, &error);
  std::string line;
  for (const char* word : words) line += std::string(" ") + word;
  EXPECT_EQ(accepted, expectAccepted) << line;
  EXPECT_TRUE(accepted || (!error.empty() && error.find('\n') == std::string::npos)) << line << ": " << error;
  return options;
}
}  // namespace

TEST(SweepToolOptions, DefaultsAndEveryMenuChoice) {
  SweepToolOptions options = Parse({});
  EXPECT_EQ(options.blockStep, 1024u);
  EXPECT_EQ(options.testAreaSize, 2097152u);
  EXPECT_FALSE(options.fast);
  EXPECT_TRUE(options.powerDefeat);
  EXPECT_EQ(options.sweeps, 1u);

  options = Parse({"--block-step", "16", "--test-area", "8", "--fast", "--sweeps", "3", "--csv", "out.csv", "--json"});
  EXPECT_EQ(options.blockStep, 16384u);
  EXPECT_EQ(options.testAreaSize, 8388608u);
  EXPECT_TRUE(options.fast);
  EXPECT_EQ(options.sweeps, 3u);
  EXPECT_EQ(options.csvPath, "out.csv");
  EXPECT_TRUE(options.json);
}

TEST(SweepToolOptions, PictureTakesAnOptionalFileAndASize) {
  SweepToolOptions options = Parse({"--picture"});
  EXPECT_TRUE(options.picture);
  EXPECT_EQ(options.picturePath, "");
  EXPECT_EQ(options.pictureWidth, 684);  // the window's client area
  EXPECT_EQ(options.pictureHeight, 449);

  options = Parse({"--picture", "--fast"});  // an option is not a file name
  EXPECT_EQ(options.picturePath, "");
  EXPECT_TRUE(options.fast);

  options = Parse({"--size", "1280X800", "--picture", "out.bmp", "--json"});
  EXPECT_EQ(options.picturePath, "out.bmp");
  EXPECT_EQ(options.pictureWidth, 1280);
  EXPECT_EQ(options.pictureHeight, 800);
  EXPECT_TRUE(options.json);

  options = Parse({"--picture", "--size", "1x8192"});
  EXPECT_EQ(options.pictureWidth, 1);
  EXPECT_EQ(options.pictureHeight, 8192);
}

// Refused with a one-line error: what the menu does not offer, and malformed picture sizes.
TEST(SweepToolOptions, RefusesWhatTheMenuDoesNotOffer) {
  const std::vector<std::vector<const char*>> bad = {
      {"--block-step", "3"}, {"--block-step", "32"}, {"--block-step", "1k"}, {"--block-step"},
      {"--test-area", "16"}, {"--test-area", "0"},   {"--test-area", "-1"},  {"--sweeps", "0"},
      {"--sweeps", "1001"},  {"--sweeps", "x"},      {"--csv"},              {"--csv", "--json"},
      {"--verbose"},         {"extra"},              {"--block-step", "99999999999999999999999"},
      {"--picture", "--size", "0x10"}, {"--picture", "--size", "8193x10"}, {"--picture", "--size", "10x"},
      {"--picture", "--size", "x10"},  {"--picture", "--size", "10*10"},   {"--picture", "--size", "-5x10"},
      {"--picture", "--size"},         {"--size", "640x480"},              {"--picture", ""}};
  for (const auto& words : bad) Parse(words, false);
}

class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetMeasurementStateForTest();
    measurementState.testAreaSize = 8388608;
    measurementState.blockStep = 16384;
    ResetResultArrays();
  }
  void TearDown() override { ResetMeasurementStateForTest(); }
};

TEST_F(Report, SummaryFormatsFiguresAsThePanelAndSpellsOutEmptyMemory) {
  // Entry 2 (offset 32 KiB) is in the default L1 window, entry 16 (256 KiB)
  // in the L2 window; nothing beyond 2 MiB is measured yet.
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates}) {
    rates[2] = (3ull << 30) + (999ull << 20) + 5;
    rates[16] = 1ull << 30;
  }
  measurementState.clockHz = 2394123456;
  const std::string summary = FormatSummary({"GenuineIntel", 1, 61234});
  EXPECT_NE(summary.find("Taktfrequenz: 2394.123 MHz\n"), std::string::npos);
  EXPECT_NE(summary.find("L1 Cache Kopieren: 3.999 GiB/s\n"), std::string::npos);
  EXPECT_NE(summary.find("L2 Cache Lesen: 1.000 GiB/s\n"), std::string::npos);
  EXPECT_NE(summary.find("Speicher Schreiben: none"), std::string::npos);
  EXPECT_NE(summary.find("61.234 s"), std::string::npos);
  EXPECT_NE(summary.find("L1 data cache 64 KiB, L2 cache 512 KiB"), std::string::npos);

  // Two memory entries whose read rates add up to 3 GiB/s: a mean of 1.512.
  for (uint64_t* rates : {measurementState.readRates, measurementState.writeRates, measurementState.copyRates}) {
    rates[200] = 1ull << 30;
    rates[201] = 2ull << 30;
  }
  EXPECT_NE(FormatSummary({"x", 1, 0}).find("Speicher Lesen: 1.512 GiB/s\n"), std::string::npos);
  const std::string json = FormatJson({"x", 1, 0});
  EXPECT_NE(json.find("\"memory\": {\"read\": 1610612736,"), std::string::npos);
  EXPECT_NE(json.find("\"memoryBlocks\": 2"), std::string::npos);
}

TEST_F(Report, CsvHasOneRowPerBlockWithItsLength) {
  measurementState.readRates[0] = 11;
  measurementState.writeRates[0] = 22;
  measurementState.copyRates[0] = 33;
  const std::string csv = FormatCsv();
  size_t rows = 0;
  for (char c : csv) rows += c == '\n';
  EXPECT_EQ(rows, 1u + BlockCount());
  EXPECT_NE(csv.find("\n2048,11,22,33\n"), std::string::npos);
  EXPECT_EQ(csv.substr(csv.size() - 15), "\n8357888,0,0,0\n");  // last block: 2048 + 510 * 16384
}
