#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "display/chart.h"
#include "display/layout.h"
#include "display/panel.h"
#include "tests/display/display_fixture.h"
#include "tests/support/recording_canvas.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10;
constexpr uint64_t MiB = uint64_t{1} << 20;
constexpr uint64_t GiB = uint64_t{1} << 30;
constexpr Colour kGrid = MakeColour(0, 80, 0);
constexpr Colour kWhite = MakeColour(255, 255, 255);

// The plot inside a chart rectangle: 70 pixels of margin on the left, 5 on
// the right and top, 25 at the bottom.
struct Plot {
  int32_t xL, xR, yT, yB;
};
Plot PlotOf(const Rect& rect) { return Plot{rect.left + 70, rect.right - 5, rect.top + 5, rect.bottom - 25}; }

// A chart rectangle at (5, 60) whose plot is width x height pixels.
Rect ChartWithPlot(int32_t width, int32_t height) { return Rect{5, 60, 5 + width + 75, 60 + height + 30}; }

class ChartTest : public DisplayTest {
 protected:
  RecordingCanvas recorder;
  Rect rect = {0, 0, 0, 0};
  Plot plot = {0, 0, 0, 0};

  void Paint(const Rect& chart) {
    rect = chart;
    plot = PlotOf(chart);
    recorder.Clear();
    PaintRateChart(recorder.canvas(), chart);
  }

  // Solid grid-coloured lines: rate lines across the plot as offsets above
  // yB (bottom to top), size lines from yT to yB as offsets right of xL.
  std::vector<int32_t> GridOffsets(bool rates) const {
    std::vector<int32_t> offsets;
    for (const RecordedOperation& l : recorder.Lines()) {
      if (l.state.penColour != kGrid || l.state.dottedPen) continue;
      if (rates && l.fromX == plot.xL && l.x == plot.xR && l.fromY == l.y) offsets.push_back(plot.yB - l.y);
      if (!rates && l.fromY == plot.yT && l.y == plot.yB && l.fromX == l.x) offsets.push_back(l.x - plot.xL);
    }
    return offsets;
  }
  // Drawn labels of one axis: rate labels end in "/s".
  std::vector<std::string> Labels(bool rates) const {
    std::vector<std::string> labels;
    for (const std::wstring& text : recorder.TextStrings()) {
      const bool isRate = text.size() > 2 && text.compare(text.size() - 2, 2, L"/s") == 0;
      if (text != L"Transferrate" && isRate == rates) labels.push_back(Narrow(text));
    }
    return labels;
  }
  // Each curve: the MoveTo that starts it, the pen, then its LineTo points.
  struct Curve {
    int32_t startX, startY;
    Colour colour;
    std::vector<RecordedOperation> points;
  };
  std::vector<Curve> Curves() const {
    std::vector<Curve> curves;
    const std::vector<RecordedOperation>& ops = recorder.operations;
    for (size_t i = 0; i + 1 < ops.size(); ++i) {
      if (ops[i].op != CanvasOp::MoveTo || ops[i + 1].op != CanvasOp::SelectSolidPen) continue;
      const Colour colour = ops[i + 1].colour;
      if (colour == kGrid) continue;
      Curve curve = {ops[i].x, ops[i].y, colour, {}};
      size_t j = i + 2;
      while (j < ops.size() && ops[j].op == CanvasOp::LineTo) curve.points.push_back(ops[j++]);
      curves.push_back(curve);
    }
    return curves;
  }
};

TEST_F(ChartTest, EmptyStateHasOneRateLineAtTheTopAndFlatCurves) {
  recorder.SetFontMetrics(kAxisFont, 8, 15);
  measurementState.chartMaxRate = 12345;  // stale from an earlier paint
  Paint(GetChartRect(Rect{0, 0, 700, 400}));  // (5, 60, 695, 395): xL 75, xR 690, yT 65, yB 370
  EXPECT_EQ(measurementState.chartMaxRate, 1u);

  const std::vector<std::string> ops = Describe(recorder.operations);
  const std::vector<std::string> start(ops.begin(), ops.begin() + 13);
  EXPECT_EQ(start, (std::vector<std::string>{
                       "pen rgb(0,80,0)", "font 202", "clip 5 60 695 395", "fill 5 60 695 395 rgb(0,0,0)",
                       "edge 5 60 695 395", "text colour rgb(255,255,255)", "transparent",
                       // "Transferrate" is 12 x 8 pixels long in the axis font.
                       "text 10 161 'Transferrate'", "font 101",
                       // 1 B/s: 30 x 13 pixels, right-aligned 5 left of xL, centred on yT.
                       "text 40 59 '1 B/s'", "pen rgb(0,80,0)", "move 75 65", "line 690 65"}));
  EXPECT_EQ(GridOffsets(true), std::vector<int32_t>{305});
  EXPECT_EQ(Labels(true), std::vector<std::string>{"1 B/s"});
  const RecordedOperation* title = recorder.FindText(L"Transferrate");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->state.font, kAxisFont);

  const std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(curves[j].colour, measurementState.curveColours[j]);
    EXPECT_EQ(curves[j].startX, 75);
    EXPECT_EQ(curves[j].startY, 370);
    ASSERT_EQ(curves[j].points.size(), 2046u);
    for (const RecordedOperation& point : curves[j].points) ASSERT_EQ(point.y, 370);
    EXPECT_EQ(curves[j].points.front().x, 75);
    // 2 096 128 bytes map to 615 * 2096128 / 2095104 = 615.3 pixels.
    EXPECT_EQ(curves[j].points.back().x, 690);
  }
  // Copy is drawn last, on top.
  EXPECT_EQ(recorder.operations.back().state.penColour, measurementState.curveColours[2]);
}

TEST_F(ChartTest, RateGridLabelsOnlyLinesThatRoseMoreThanHalfALabel) {
  SetEntry(100, 3 * GiB, 0, 0);
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(measurementState.chartMaxRate, 3 * GiB);

  // k = 0..22 map to less than a pixel; then 8 MiB/s at 1 ... 2 GiB/s at 266.
  std::vector<int32_t> expected(23, 0);
  for (int32_t offset : {1, 2, 4, 8, 16, 33, 66, 133, 266}) expected.push_back(offset);
  EXPECT_EQ(GridOffsets(true), expected);

  // With 13-pixel labels a line must rise 7 pixels above the previous line,
  // labelled or not: 64 MiB/s (8 above 1 B/s, but 4 above 32 MiB/s) stays bare.
  EXPECT_EQ(Labels(true), (std::vector<std::string>{"1 B/s", "128 MiB/s", "256 MiB/s", "512 MiB/s", "1 GiB/s",
                                                   "2 GiB/s"}));
  const RecordedOperation* top = recorder.FindText(L"2 GiB/s");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->x, plot.xL - 42 - 5);
  EXPECT_EQ(top->y, plot.yB - 266 - 6);
  EXPECT_EQ(top->state.font, kPanelFont);
  EXPECT_EQ(top->state.textColour, kWhite);

  // The 3 GiB/s entry itself sits on yT.
  const std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  EXPECT_EQ(curves[0].points.at(100).y, plot.yT);
}

TEST_F(ChartTest, RateLabelExactlyHalfALabelAboveThePreviousLineIsLeftOut) {
  SetEntry(0, 3 * GiB, 0, 0);
  // 128 MiB/s lies 16 above yB, 8 above 64 MiB/s.
  recorder.SetFontMetrics(kPanelFont, 6, 16);
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(recorder.FindText(L"128 MiB/s"), nullptr);
  EXPECT_NE(recorder.FindText(L"256 MiB/s"), nullptr);

  recorder.SetFontMetrics(kPanelFont, 6, 15);
  Paint(ChartWithPlot(600, 400));
  EXPECT_NE(recorder.FindText(L"128 MiB/s"), nullptr);
}

TEST_F(ChartTest, SizeGridOverTwoMebibytesWithTheLastLabelFlushRight) {
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(GridOffsets(false), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 9, 18, 37, 75,
                                                     150, 300, 600}));
  // 128 KiB: its label would start at 37 - 21 = 16, not right of 64 KiB's line at 18.
  EXPECT_EQ(Labels(false), (std::vector<std::string>{"1 B", "256 KiB", "512 KiB", "1 MiB", "2 MiB"}));

  const int32_t labelTop = rect.bottom - 13 - 5;
  const struct {
    const wchar_t* text;
    int32_t x;
  } expected[] = {{L"1 B", plot.xL - 9},
                  {L"256 KiB", plot.xL + 75 - 21},
                  {L"1 MiB", plot.xL + 300 - 15},
                  {L"2 MiB", plot.xR - 30}};  // its line is at xR: flush right
  for (const auto& label : expected) {
    const RecordedOperation* text = recorder.FindText(label.text);
    ASSERT_NE(text, nullptr) << Narrow(label.text);
    EXPECT_EQ(text->x, label.x) << Narrow(label.text);
    EXPECT_EQ(text->y, labelTop) << Narrow(label.text);
  }
}

TEST_F(ChartTest, SizeLabelBoundaries) {
  // 1 MiB's line is at xL + 300, 512 KiB's at xL + 150.
  recorder.SetTextExtent(L"1 MiB", TextSize{300, 13});
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(recorder.FindText(L"1 MiB"), nullptr);

  recorder.SetTextExtent(L"1 MiB", TextSize{298, 13});
  Paint(ChartWithPlot(600, 400));
  const RecordedOperation* label = recorder.FindText(L"1 MiB");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x, plot.xL + 300 - 149);

  // A label reaching exactly to xR is set flush right. Only a test area that
  // is no power of two puts the last line far enough left to show it:
  // 2.5 MiB puts 2 MiB at xL + 480, and a 241-pixel label (half 120) centred
  // there would end at xR; flush right it starts one pixel further left.
  UseSettings(2 * MiB + 512 * KiB, 1024);
  recorder.SetTextExtent(L"2 MiB", TextSize{241, 13});
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(GridOffsets(false).back(), 480);
  label = recorder.FindText(L"2 MiB");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x, plot.xR - 241);
  recorder.SetTextExtent(L"2 MiB", TextSize{239, 13});
  Paint(ChartWithPlot(600, 400));
  label = recorder.FindText(L"2 MiB");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x, plot.xL + 480 - 119);
}

TEST_F(ChartTest, CacheMarksAreDottedRedAndMayFallOutsideTheChart) {
  measurementState.showCacheRegions = true;
  measurementState.l1CacheSize = 64 * KiB;
  measurementState.l2CacheSize = 4 * MiB;
  Paint(ChartWithPlot(1200, 400));

  std::vector<RecordedOperation> marks;
  for (const RecordedOperation& line : recorder.Lines()) {
    if (line.state.dottedPen) marks.push_back(line);
  }
  ASSERT_EQ(marks.size(), 2u);
  const int32_t expectedX[2] = {plot.xL + 37, plot.xL + 2402};
  for (int m = 0; m < 2; ++m) {
    EXPECT_EQ(marks[m].state.penColour, MakeColour(255, 0, 0));
    EXPECT_EQ(marks[m].fromX, expectedX[m]);
    EXPECT_EQ(marks[m].x, expectedX[m]);
    EXPECT_EQ(marks[m].fromY, plot.yT);
    EXPECT_EQ(marks[m].y, plot.yB);
    EXPECT_EQ(DescribeRect(marks[m].state.clip), DescribeRect(rect));
  }
  EXPECT_GE(marks[1].x, rect.right);  // clipped away

  // The solid pen returns, in the grid colour, before the curves start.
  std::vector<std::string> ops = Describe(recorder.operations);
  const auto dotted = std::find(ops.begin(), ops.end(), "dotted pen rgb(255,0,0)");
  ASSERT_NE(dotted, ops.end());
  EXPECT_EQ(std::vector<std::string>(dotted, dotted + 9),
            (std::vector<std::string>{"dotted pen rgb(255,0,0)", "move 112 65", "line 112 465", "move 2477 65",
                                      "line 2477 465", "pen rgb(0,80,0)", "move 75 465", "pen rgb(255,200,0)",
                                      "line 76 465"}));

  // Without marks the pen is selected all the same, between the last grid
  // line and the first curve.
  measurementState.showCacheRegions = false;
  Paint(ChartWithPlot(1200, 400));
  ops = Describe(recorder.operations);
  EXPECT_EQ(recorder.Count(CanvasOp::SelectDottedPen), 0u);
  const auto lastGrid = std::find(ops.begin(), ops.end(), "line 1276 465");  // 2 MiB at xL + 1201
  ASSERT_NE(lastGrid, ops.end());
  EXPECT_EQ(std::vector<std::string>(lastGrid, lastGrid + 4),
            (std::vector<std::string>{"line 1276 465", "pen rgb(0,80,0)", "move 75 465", "pen rgb(255,200,0)"}));
}

TEST_F(ChartTest, CurvesMapBlockLengthAndRateLinearlyFromTheOrigin) {
  SetEntry(0, 3 * GiB, 1 * GiB, 0);
  SetEntry(1023, 3 * GiB / 2, 0, 3 * GiB);
  Paint(ChartWithPlot(600, 400));

  const std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  for (const Curve& curve : curves) ASSERT_EQ(curve.points.size(), 2046u);
  // Read: block 0 (2048 bytes, 0.58 pixels) at the top; block 1023
  // (1 049 600 bytes, 300.58 pixels) at half height.
  EXPECT_EQ(curves[0].points[0].x, plot.xL);
  EXPECT_EQ(curves[0].points[0].y, plot.yT);
  EXPECT_EQ(curves[0].points[0].fromX, plot.xL);  // the segment from the origin
  EXPECT_EQ(curves[0].points[0].fromY, plot.yB);
  EXPECT_EQ(curves[0].points[1023].x, plot.xL + 300);
  EXPECT_EQ(curves[0].points[1023].y, plot.yB - 200);
  // Write: 1 GiB/s of 3 is 133.3 pixels.
  EXPECT_EQ(curves[1].points[0].y, plot.yB - 133);
  EXPECT_EQ(curves[1].points[1023].y, plot.yB);
  // Copy.
  EXPECT_EQ(curves[2].points[0].y, plot.yB);
  EXPECT_EQ(curves[2].points[1023].y, plot.yT);
  EXPECT_EQ(curves[2].points.back().x, plot.xL + 600);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(curves[j].colour, measurementState.curveColours[j]);
}

TEST_F(ChartTest, RatesNearTheTopOfSixtyFourBitsMapWithoutWrapping) {
  // 2^63 * 400 does not fit 64 bits; the mapping must still be exact.
  SetEntry(0, uint64_t{1} << 63, uint64_t{1} << 62, 0);
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(measurementState.chartMaxRate, uint64_t{1} << 63);
  const std::vector<int32_t> offsets = GridOffsets(true);
  ASSERT_EQ(offsets.size(), 64u);
  EXPECT_EQ(offsets[62], 200);
  EXPECT_EQ(offsets[63], 400);
  std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  EXPECT_EQ(curves[0].points.at(0).y, plot.yT);
  EXPECT_EQ(curves[1].points.at(0).y, plot.yB - 200);

  // The largest scale of all: each mapping truncates just below its exact value.
  SetEntry(0, UINT64_MAX, UINT64_MAX - 1, UINT64_MAX / 3);
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(measurementState.chartMaxRate, UINT64_MAX);
  EXPECT_EQ(GridOffsets(true).back(), 200);  // 2^63 of 2^64 - 1
  curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  EXPECT_EQ(curves[0].points.at(0).y, plot.yT);
  EXPECT_EQ(curves[1].points.at(0).y, plot.yT + 1);  // 399.99... pixels
  EXPECT_EQ(curves[2].points.at(0).y, plot.yB - 133);
}

TEST_F(ChartTest, AnEntryRaisedDuringThePaintIsDrawnFarAboveThePlot) {
  // The sweep writes a first result after the chart chose chartMaxRate = 1.
  recorder.afterOperation = [](const RecordedOperation& op) {
    if (op.op == CanvasOp::DrawString && op.text == L"Transferrate") measurementState.readRates[10] = uint64_t{1} << 40;
  };
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(GridOffsets(true), std::vector<int32_t>{400});
  const std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  const RecordedOperation& point = curves[0].points.at(10);
  EXPECT_LT(point.y, plot.yT - 1000000);
  EXPECT_GE(point.y, -(int32_t{1} << 27));
}

TEST_F(ChartTest, PlotWithoutPositiveExtentGetsOnlyItsFrame) {
  const std::vector<std::string> frameOnly = {"pen rgb(0,80,0)", "font 202", "clip 5 60 680 90",
                                              "fill 5 60 680 90 rgb(0,0,0)", "edge 5 60 680 90",
                                              "text colour rgb(255,255,255)", "transparent", "font 101"};
  Paint(ChartWithPlot(600, 0));  // 30 pixels high
  EXPECT_EQ(Describe(recorder.operations), frameOnly);
  Paint(ChartWithPlot(600, -12));
  EXPECT_EQ(recorder.DrawingCount(), 2u);
  Paint(ChartWithPlot(0, 400));  // 75 pixels wide
  EXPECT_EQ(recorder.DrawingCount(), 2u);

  // One pixel of height is a plot: the single rate line lies on yT = yB - 1.
  Paint(ChartWithPlot(600, 1));
  EXPECT_EQ(GridOffsets(true), std::vector<int32_t>{1});
  EXPECT_EQ(Curves().size(), 3u);
}

TEST_F(ChartTest, EmptyRectangleDrawsNothingButPreparesThePanel) {
  const Rect client = {0, 0, 700, 50};  // chart (5, 60, 695, 45) is inverted
  for (const Rect& chart : {GetChartRect(client), Rect{5, 60, 5, 395}}) {
    Paint(chart);
    EXPECT_EQ(recorder.DrawingCount(), 0u) << DescribeRect(chart);
    EXPECT_EQ(recorder.Count(CanvasOp::ClipToRect), 0u);
    EXPECT_TRUE(recorder.state.transparentText);
    EXPECT_EQ(recorder.state.font, kPanelFont);
  }
  PaintResultsPanel(recorder.canvas(), GetPanelRect(client));
  ASSERT_EQ(recorder.Texts().size(), 20u);
  for (const RecordedOperation& text : recorder.Texts()) EXPECT_TRUE(text.state.transparentText);
}

TEST_F(ChartTest, LeavesTransparentTextPanelFontAndTheSolidPenForThePanel) {
  measurementState.showCacheRegions = true;
  SetEntry(5, GiB, GiB, GiB);
  const Rect client = {0, 0, 700, 400};
  Paint(GetChartRect(client));
  EXPECT_TRUE(recorder.state.transparentText);
  EXPECT_EQ(recorder.state.textColour, kWhite);
  EXPECT_EQ(recorder.state.font, kPanelFont);
  EXPECT_TRUE(recorder.state.penSelected);
  EXPECT_FALSE(recorder.state.dottedPen);

  const size_t chartOps = recorder.operations.size();
  PaintResultsPanel(recorder.canvas(), GetPanelRect(client));
  const std::vector<RecordedOperation> all = recorder.operations;
  for (size_t i = chartOps; i < all.size(); ++i) {
    if (all[i].op != CanvasOp::DrawString) continue;
    EXPECT_TRUE(all[i].state.transparentText) << Narrow(all[i].text);
    EXPECT_EQ(all[i].state.font, kPanelFont) << Narrow(all[i].text);
    EXPECT_EQ(DescribeRect(all[i].state.clip), "5 5 695 55") << Narrow(all[i].text);
  }
}

TEST_F(ChartTest, MissingResultArraysLeaveTheCurvesWithoutPoints) {
  FreeArrays();
  Paint(ChartWithPlot(600, 400));
  EXPECT_EQ(measurementState.chartMaxRate, 1u);
  const std::vector<Curve> curves = Curves();
  ASSERT_EQ(curves.size(), 3u);
  for (const Curve& curve : curves) EXPECT_TRUE(curve.points.empty());
}

}  // namespace
