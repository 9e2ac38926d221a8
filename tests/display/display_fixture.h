// A fresh measurement state for each display test: defaults, two distinct
// font handles and zeroed result arrays.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "measure/state.h"
#include "tests/support/recording_canvas.h"

class DisplayTest : public ::testing::Test {
 protected:
  static constexpr FontHandle kPanelFont = 101;
  static constexpr FontHandle kAxisFont = 202;

  void SetUp() override {
    FreeArrays();
    measurementState = MeasurementState();
    measurementState.panelFont = kPanelFont;
    measurementState.axisFont = kAxisFont;
    ResetResultArrays();
    ASSERT_TRUE(ResultArraysExist());
  }
  void TearDown() override { FreeArrays(); }

  static void FreeArrays() {
    std::free(measurementState.readRates);
    std::free(measurementState.writeRates);
    std::free(measurementState.copyRates);
    measurementState.readRates = measurementState.writeRates = measurementState.copyRates = nullptr;
  }

  // Changes the sweep settings and reallocates the arrays, as a menu command does.
  static void UseSettings(uint64_t testAreaSize, uint32_t blockStep) {
    measurementState.testAreaSize = testAreaSize;
    measurementState.blockStep = blockStep;
    ResetResultArrays();
    ASSERT_TRUE(ResultArraysExist());
  }

  static void SetEntry(uint32_t i, uint64_t read, uint64_t write, uint64_t copy) {
    measurementState.readRates[i] = read;
    measurementState.writeRates[i] = write;
    measurementState.copyRates[i] = copy;
  }
};

// ASCII wide text as a narrow string, for readable failure messages.
inline std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

inline std::string DescribeColour(Colour colour) {
  return "rgb(" + std::to_string(colour & 0xFF) + "," + std::to_string((colour >> 8) & 0xFF) + "," +
         std::to_string((colour >> 16) & 0xFF) + ")";
}

inline std::string DescribeRect(const Rect& rect) {
  return std::to_string(rect.left) + " " + std::to_string(rect.top) + " " + std::to_string(rect.right) + " " +
         std::to_string(rect.bottom);
}

// One line per operation, e.g. "text 10 23 'L1 Cache Schreiben: '" or
// "pen rgb(0,80,0)"; text measurements are left out, since when a text is
// measured does not change the picture.
inline std::vector<std::string> Describe(const std::vector<RecordedOperation>& operations) {
  std::vector<std::string> lines;
  for (const RecordedOperation& op : operations) {
    switch (op.op) {
      case CanvasOp::ClipToRect: lines.push_back("clip " + DescribeRect(op.rect)); break;
      case CanvasOp::FillRect: lines.push_back("fill " + DescribeRect(op.rect) + " " + DescribeColour(op.colour)); break;
      case CanvasOp::DrawSunkenEdge: lines.push_back("edge " + DescribeRect(op.rect)); break;
      case CanvasOp::ExcludeFromClip: lines.push_back("exclude " + DescribeRect(op.rect)); break;
      case CanvasOp::FillBackground: lines.push_back("background " + DescribeRect(op.rect)); break;
      case CanvasOp::SelectSolidPen: lines.push_back("pen " + DescribeColour(op.colour)); break;
      case CanvasOp::SelectDottedPen: lines.push_back("dotted pen " + DescribeColour(op.colour)); break;
      case CanvasOp::MoveTo: lines.push_back("move " + std::to_string(op.x) + " " + std::to_string(op.y)); break;
      case CanvasOp::LineTo: lines.push_back("line " + std::to_string(op.x) + " " + std::to_string(op.y)); break;
      case CanvasOp::SetTransparentText: lines.push_back("transparent"); break;
      case CanvasOp::SetTextColour: lines.push_back("text colour " + DescribeColour(op.colour)); break;
      case CanvasOp::SelectFont: lines.push_back("font " + std::to_string(op.font)); break;
      case CanvasOp::MeasureText: break;
      case CanvasOp::DrawString:
        lines.push_back("text " + std::to_string(op.x) + " " + std::to_string(op.y) + " '" + Narrow(op.text) + "'");
        break;
    }
  }
  return lines;
}
