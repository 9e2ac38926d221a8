#include "app/sweep/report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "display/format.h"
#include "display/panel.h"
#include "probe/topology.h"
#include "record/state.h"

namespace {
std::string Narrow(const TextBuffer& text) {
  std::string out;
  for (int32_t i = 0; i < TextLength(text); ++i) out += static_cast<char>(text[i]);
  return out;
}

std::string GiBRate(uint64_t rate) {
  TextBuffer text = {};
  FormatGiBRate(rate, text);
  return Narrow(text);
}

std::string Decimal(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

const char* const panelLabels[3][3] = {
    {"L1 Cache Lesen: ", "L1 Cache Schreiben: ", "L1 Cache Kopieren: "},
    {"L2 Cache Lesen: ", "L2 Cache Schreiben: ", "L2 Cache Kopieren: "},
    {"Speicher Lesen: ", "Speicher Schreiben: ", "Speicher Kopieren: "},
};
}  // namespace

std::string FormatSeconds(uint64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(milliseconds / 1000),
                static_cast<unsigned long long>(milliseconds % 1000));
  return text;
}

std::string FormatSummary(const ReportFacts& facts) {
  const MeasurementState& state = measurementState;
  const PanelFigures figures = ComputePanelFigures();
  std::string out;
  out += "Processor: " + facts.vendor + ", L1 data cache " + FormatExactSize(state.l1CacheSize) + ", L2 cache " +
         FormatExactSize(state.l2CacheSize) + ", SSE " + (state.hasSse ? "yes" : "no") + ", SSE2 " +
         (state.hasSse2 ? "yes" : "no") + "\n";
  out += "Settings: test area " + FormatExactSize(state.testAreaSize) + ", block step " + FormatExactSize(state.blockStep) +
         ", " + Decimal(state.repeatCount) + " passes per test, " + Decimal(BlockCount()) + " blocks\n";
  TextBuffer clock = {};
  FormatClockFrequency(LoadWhole(&state.clockHz), clock);
  out += Narrow(clock) + "\n";
  const uint64_t* columns[3] = {figures.l1, figures.l2, figures.memory};
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row) {
      std::string figure;
      if (column == 2 && columns[column][row] == 0) {
        figure = "none (no block of the test area lies beyond 4 x L2 = " +
                 FormatExactSize(4 * static_cast<uint64_t>(state.l2CacheSize)) + ")";
      } else {
        figure = GiBRate(columns[column][row]);
      }
      out += panelLabels[column][row] + figure + "\n";
    }
  }
  out += "Sweeps: " + Decimal(facts.sweeps) + ", the last took " + FormatSeconds(facts.lastSweepMilliseconds) + "\n";
  return out;
}

std::string FormatJson(const ReportFacts& facts) {
  using Json = nlohmann::ordered_json;
  const MeasurementState& state = measurementState;
  const PanelFigures figures = ComputePanelFigures();
  auto triple = [](const uint64_t rates[3]) { return Json{{"read", rates[0]}, {"write", rates[1]}, {"copy", rates[2]}}; };
  const Json document = {
      {"vendor", facts.vendor},
      {"l1CacheSize", state.l1CacheSize},
      {"l2CacheSize", state.l2CacheSize},
      {"hasSse", state.hasSse},
      {"hasSse2", state.hasSse2},
      {"testAreaSize", state.testAreaSize},
      {"blockStep", state.blockStep},
      {"repeatCount", state.repeatCount},
      {"clockHz", LoadWhole(&state.clockHz)},
      {"bytesPerSecond",
       {{"l1", triple(figures.l1)}, {"l2", triple(figures.l2)},
        {"memory", figures.memoryCount == 0 ? Json() : triple(figures.memory)}}},
      {"memoryBlocks", figures.memoryCount},
      {"sweeps", facts.sweeps},
      {"lastSweepMilliseconds", facts.lastSweepMilliseconds}};
  return document.dump(2) + "\n";
}

std::string FormatCsv() {
  const MeasurementState& state = measurementState;
  std::string out = "block_length,read_bytes_per_second,write_bytes_per_second,copy_bytes_per_second\n";
  if (!ResultArraysExist()) return out;
  for (uint32_t i = 0; i < BlockCount(); ++i) {
    out += Decimal(BlockLength(i)) + "," + Decimal(LoadWhole(&state.readRates[i])) + "," +
           Decimal(LoadWhole(&state.writeRates[i])) + "," + Decimal(LoadWhole(&state.copyRates[i])) + "\n";
  }
  return out;
}
