#include "display/chart.h"

#include <algorithm>

#include "display/client_area.h"
#include "display/layout.h"
#include "tests/support/recording_canvas.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10, MiB = KiB << 10, GiB = MiB << 10;
constexpr Colour kGrid = MakeColour(0, 80, 0);
using Lines = std::vector<std::string>;
using Offsets = std::vector<int32_t>;

class ChartTest : public DisplayTest {
 protected:
  Rect rect = {};
  int32_t xL = 0, xR = 0, yT = 0, yB = 0;  // the plot: 70 pixels in from the left, 5 from right and top, 25 from the bottom

  void Paint(const Rect& chart) {
    rect = chart, xL = chart.left + 70, xR = chart.right - 5, yT = chart.top + 5, yB = chart.bottom - 25;
    recorder.Clear();
    PaintRateChart(recorder.canvas, chart);
  }
  // A chart at (5, 60) whose plot is width x height pixels.
  void Paint(int32_t width, int32_t height) { Paint(Rect{5, 60, 80 + width, 90 + height}); }
  // Solid grid lines: rate lines across the plot as offsets above yB, size lines down it as offsets right of xL.
  Offsets Grid(bool rates) const {
    Offsets offsets;
    for (const RecordedOperation& l : recorder.Of("line")) {
      if (l.state.penColour != kGrid || l.state.dottedPen) continue;
      if (rates && l.state.x == xL && l.x == xR && l.state.y == l.y) offsets.push_back(yB - l.y);
      if (!rates && l.state.y == yT && l.y == yB && l.state.x == l.x) offsets.push_back(l.x - xL);
    }
    return offsets;
  }
  // The drawn labels of one axis: rate labels end in "/s".
  Lines Labels(bool rates) const {
    Lines labels;
    for (const RecordedOperation& t : recorder.Of("text"))
      if (t.text != L"Transferrate" && (t.text.back() == L's') == rates) labels.push_back(Narrow(t.text));
    return labels;
  }
  // The lines of curve j (read, write, copy).
  std::vector<RecordedOperation> Curve(int j) const {
    std::vector<RecordedOperation> points;
    for (const RecordedOperation& l : recorder.Of("line"))
      if (l.state.penColour == displayState.curveColours[j] && !l.state.dottedPen) points.push_back(l);
    return points;
  }
};

TEST_F(ChartTest, EmptyStateDrawsFrameTitleOneRateLineAndFlatCurvesThenLeavesThePanelItsState) {
  recorder.fontMetrics[kAxisFont] = {8, 15};
  displayState.chartMaxRate = 12345;  // stale from an earlier paint
  Paint(GetChartRect(Rect{0, 0, 700, 400}));  // (5, 60, 695, 395): xL 75, xR 690, yT 65, yB 370
  EXPECT_EQ(displayState.chartMaxRate, 1u);
  // The title runs up from yT + 12 * 8; "1 B/s" is right-aligned 5 left of xL and centred on yT.
  const Lines lines = recorder.Lines();
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 13),
            (Lines{"pen rgb(0,80,0)", "font 202", "clip 5 60 695 395", "fill 5 60 695 395 rgb(0,0,0)",
                   "edge 5 60 695 395", "text colour rgb(255,255,255)", "transparent", "text 10 161 'Transferrate'",
                   "font 101", "text 40 59 '1 B/s'", "pen rgb(0,80,0)", "move 75 65", "line 690 65"}));
  EXPECT_EQ(Grid(true), Offsets{305});
  for (int j = 0; j < 3; ++j) {  // from the origin; the last entry, 2 096 128 bytes, at 615.3 pixels
    const std::vector<RecordedOperation> curve = Curve(j);
    ASSERT_EQ(curve.size(), 2046u);
    EXPECT_EQ(curve[0].line + " " + Str({curve[0].state.x, curve[0].state.y, curve.back().x, curve.back().y}),
              "line 75 370 75 370 690 370");
    for (const RecordedOperation& point : curve) ASSERT_EQ(point.y, 370);
  }
  const CanvasState& s = recorder.state;  // copy on top, then the panel's text state
  EXPECT_TRUE(s.penColour == displayState.curveColours[2] && s.transparentText && !s.dottedPen);
  EXPECT_TRUE(s.textColour == MakeColour(255, 255, 255) && s.font == kPanelFont);
}

TEST_F(ChartTest, RateLabelsOnlyWhereTheLineRoseMoreThanHalfALabelAboveThePreviousLine) {
  SetEntry(100, 3 * GiB, 0, 0);
  // 64 MiB/s lies 8 above 1 B/s but 4 above 32 MiB/s; 128 MiB/s lies 8 above 64 MiB/s.
  const Lines all = {"1 B/s", "128 MiB/s", "256 MiB/s", "512 MiB/s", "1 GiB/s", "2 GiB/s"};
  const Lines without128 = {"1 B/s", "256 MiB/s", "512 MiB/s", "1 GiB/s", "2 GiB/s"};
  for (const auto& [height, labels] : {std::pair{13, all}, std::pair{16, without128}, std::pair{15, all}}) {
    recorder.fontMetrics[kPanelFont] = {6, height};
    Paint(600, 400);
    EXPECT_EQ(Labels(true), labels) << height;
  }
  Offsets expected(23, 0);  // up to 4 MiB/s less than a pixel
  for (int32_t offset : {1, 2, 4, 8, 16, 33, 66, 133, 266}) expected.push_back(offset);
  EXPECT_EQ(Grid(true), expected);
  EXPECT_EQ(recorder.Where(L"2 GiB/s"), Point(xL - 42 - 5, yB - 266 - 7) + " rgb(255,255,255)");
}

TEST_F(ChartTest, SizeLabelsCentredRightOfThePreviousLineAndFlushRightAtTheEnd) {
  Paint(600, 400);
  EXPECT_EQ(Grid(false), (Offsets{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 9, 18, 37, 75, 150, 300, 600}));
  // 128 KiB's label would start at 37 - 21 = 16, left of 64 KiB's line at 18.
  EXPECT_EQ(Labels(false), (Lines{"1 B", "256 KiB", "512 KiB", "1 MiB", "2 MiB"}));
  const int32_t absent = -1;
  const struct { uint64_t testArea; const wchar_t* text; int32_t width, x; } cases[] = {  // x: right of xL
      {2 * MiB, L"1 B", 18, -9}, {2 * MiB, L"256 KiB", 42, 75 - 21}, {2 * MiB, L"2 MiB", 30, 600 - 30},  // at xR
      {2 * MiB, L"1 MiB", 300, absent},  // would start on 512 KiB's line at 150
      {2 * MiB, L"1 MiB", 298, 300 - 149}, {2 * MiB + 512 * KiB, L"2 MiB", 241, 600 - 241},  // at 480, would end at xR
      {2 * MiB + 512 * KiB, L"2 MiB", 239, 480 - 119}};
  for (const auto& c : cases) {
    UseSettings(c.testArea, 1024);
    recorder.textExtents = {{c.text, TextSize{c.width, 13}}};
    Paint(600, 400);
    EXPECT_EQ(recorder.Where(c.text), c.x == absent ? "absent" : Point(xL + c.x, rect.bottom - 18) + " rgb(255,255,255)")
        << Narrow(c.text) << " " << c.width;
  }
}

TEST_F(ChartTest, CacheMarksAreDottedRedOnTheCurvesScaleAndTheSolidPenReturnsEitherWay) {
  measurementState.l1CacheSize = 64 * KiB;
  measurementState.l2CacheSize = 4 * MiB;  // beyond the chart, left to the clip
  for (bool show : {true, false}) {
    measurementState.showCacheRegions = show;
    Paint(1200, 400);
    const Lines lines = recorder.Lines();
    const auto lastGrid = std::find(lines.begin(), lines.end(), "line 1276 465");  // 2 MiB at xL + 1201
    ASSERT_GT(lines.end() - lastGrid, 9);
    Lines expected = show ? Lines{"dotted pen rgb(255,0,0)", "move 112 65", "line 112 465", "move 2477 65", "line 2477 465"}
                          : Lines{};
    expected.insert(expected.end(), {"pen rgb(0,80,0)", "move 75 465", "pen rgb(255,200,0)"});
    EXPECT_EQ(Lines(lastGrid + 1, lastGrid + 1 + long(expected.size())), expected);
  }
}

TEST_F(ChartTest, CurvesMapLengthAndRateLinearlyFromTheOriginEvenBeyondSixtyFourBitProducts) {
  SetEntry(0, 3 * GiB, 1 * GiB, 0);
  SetEntry(1023, 3 * GiB / 2, 0, 3 * GiB);
  Paint(600, 400);
  // Block 0 is 2048 bytes (0.58 pixels), block 1023 1 049 600 bytes (300.58 pixels); as x, yB - y.
  const struct { int j, i; std::string at; } points[] = {{0, 0, "0 400"}, {0, 1023, "300 200"}, {1, 0, "0 133"},
      {1, 1023, "300 0"}, {2, 0, "0 0"}, {2, 1023, "300 400"}, {2, 2045, "600 0"}};
  for (const auto& p : points)
    EXPECT_EQ(Point(Curve(p.j).at(size_t(p.i)).x - xL, yB - Curve(p.j).at(size_t(p.i)).y), p.at) << p.j << " " << p.i;
  // Products of rate and height beyond 64 bits still map exactly, truncated.
  const struct { uint64_t read, write, copy; int32_t topGrid, y[3]; } wide[] = {
      {uint64_t{1} << 63, uint64_t{1} << 62, 0, 400, {400, 200, 0}},
      {UINT64_MAX, UINT64_MAX - 1, UINT64_MAX / 3, 200, {400, 399, 133}}};
  for (const auto& w : wide) {
    SetEntry(0, w.read, w.write, w.copy);
    Paint(600, 400);
    EXPECT_EQ(displayState.chartMaxRate, w.read);
    EXPECT_EQ(Grid(true).back(), w.topGrid);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(yB - Curve(j).at(0).y, w.y[j]) << w.read << " " << j;
  }
}

TEST_F(ChartTest, DegenerateRectanglesAndStatesDrawWhatTheyCan) {
  // An entry a running sweep raises after the chart chose its scale lies far above the plot, within +-2^27.
  recorder.afterOperation = [](const RecordedOperation& op) {
    if (op.text == L"Transferrate") measurementState.readRates[10] = uint64_t{1} << 40;
  };
  Paint(600, 400);
  recorder.afterOperation = nullptr;
  EXPECT_EQ(Grid(true), Offsets{400});
  EXPECT_TRUE(Curve(0).at(10).y < yT - 1000000 && Curve(0).at(10).y >= -(int32_t{1} << 27));
  SetEntry(10, 0, 0, 0);
  for (const auto& [width, height] : {std::pair{600, 0}, std::pair{600, -12}, std::pair{0, 400}}) {
    Paint(width, height);  // no plot: only the frame
    EXPECT_EQ(recorder.Lines(), (Lines{"pen rgb(0,80,0)", "font 202", "clip " + Str(rect), "fill " + Str(rect) + " rgb(0,0,0)",
                                       "edge " + Str(rect), "text colour rgb(255,255,255)", "transparent", "font 101"}));
  }
  Paint(600, 1);
  EXPECT_EQ(Grid(true), Offsets{1});
  EXPECT_EQ(Curve(2).size(), 2046u);
  // An empty or inverted rectangle draws nothing but prepares the panel.
  for (const Rect& chart : {GetChartRect(Rect{0, 0, 700, 50}), Rect{5, 60, 5, 395}}) {
    Paint(chart);
    EXPECT_EQ(recorder.Lines(), (Lines{"pen rgb(0,80,0)", "text colour rgb(255,255,255)", "transparent", "font 101"}));
  }
  FreeArrays();
  Paint(600, 400);
  EXPECT_TRUE(displayState.chartMaxRate == 1u && Curve(0).empty());
}

TEST_F(ChartTest, ClientAreaErasesAroundBothAreasAndPaintsTheChartBeforeThePanel) {
  EraseClientBackground(recorder.canvas, Rect{0, 0, 700, 400});
  EXPECT_EQ(recorder.Lines(), (Lines{"exclude 5 60 695 395", "exclude 5 5 695 55", "background 0 0 700 400"}));
  recorder.Clear();
  PaintClientArea(recorder.canvas, Rect{0, 0, 700, 400});
  const std::vector<RecordedOperation> clips = recorder.Of("clip");
  ASSERT_EQ(clips.size(), 2u);
  EXPECT_EQ(clips[0].line + ", " + clips[1].line, "clip 5 60 695 395, clip 5 5 695 55");
}

}  // namespace
