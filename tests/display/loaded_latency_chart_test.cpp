// The loaded-latency picture through the recorder: the marks and the idle
// line where their values lie on the two linear axes, everything inside the
// client rectangle, and the picture without points.
#include "display/loaded_latency_chart.h"

#include <cstdio>

#include "display/compare_chart.h"
#include "tests/support/recording_canvas.h"

namespace {
// A fill's rectangle, parsed back from its recorded line.
Rect FillOf(const RecordedOperation& op) {
  Rect r = {};
  std::sscanf(op.line.c_str(), "fill %d %d %d %d", &r.left, &r.top, &r.right, &r.bottom);
  return r;
}
// The middle pixel of a span begin..end-1.
int32_t Mid(int32_t begin, int32_t end) { return (begin + end - 1) / 2; }
}  // namespace

TEST_F(DisplayTest, LoadedLatencyChartPlacesMarksAndTheIdleLineOnZeroBasedAxes) {
  // Up to 5.5 GB/s and 480 ns: the axes end at 6 GB/s and 500 ns. Read's third
  // point has no latency and is a gap.
  const uint64_t readBandwidth[] = {5500000000, 3000000000, 1500000000, 600000000};
  const uint64_t readLatency[] = {480000, 250000, 0, 200000};
  const uint64_t writeBandwidth[] = {4500000000, 300000000};
  const uint64_t writeLatency[] = {450000, 210000};
  const LoadedLatencyChartCurve curves[] = {{L"read", readBandwidth, readLatency, 4},
                                            {L"write", writeBandwidth, writeLatency, 2}};
  const Rect client = {100, 50, 700, 450};
  PaintLoadedLatencyChart(recorder.canvas, client, {curves, 2, 180000, L"4 threads"}, kPanelFont);

  // The plot's corners from the axis lines: the long vertical and horizontal ones.
  int32_t xL = 0, xR = 0, yT = 0, yB = 0, x0 = 0, y0 = 0;
  for (const RecordedOperation& op : recorder.ops) {
    if (op.what == "move") x0 = op.x, y0 = op.y;
    if (op.what != "line" || op.state.penColour != MakeColour(0, 150, 0)) continue;
    if (op.x == x0 && op.y - y0 > 100) xL = x0, yT = y0, yB = op.y;
    if (op.y == y0 && op.x - x0 > 100) xR = op.x - 1;
  }
  ASSERT_GT(xR - xL, 400);
  ASSERT_GT(yB - yT, 200);
  EXPECT_NE(recorder.Find(L"6"), nullptr);
  EXPECT_NE(recorder.Find(L"500"), nullptr);
  EXPECT_NE(recorder.Find(L"latency (ns)"), nullptr);
  EXPECT_NE(recorder.Find(L"bandwidth (GB/s)"), nullptr);
  auto x = [&](double gigabytesPerSecond) { return xL + gigabytesPerSecond / 6 * (xR - xL); };
  auto y = [&](double nanoseconds) { return yB - nanoseconds / 500 * (yB - yT); };

  // Each present point's mark, centred where its values lie, in its curve's colour.
  const struct {
    uint32_t curve;
    double gigabytesPerSecond, nanoseconds;
  } marks[] = {{0, 5.5, 480}, {0, 3, 250}, {0, 0.6, 200}, {1, 4.5, 450}, {1, 0.3, 210}};
  std::vector<Rect> fills[2];
  for (const RecordedOperation& op : recorder.ops)
    for (uint32_t c = 0; c < 2; ++c)
      if (op.what == "fill" && op.line.find(Rgb(CompareRunColour(c))) != std::string::npos && FillOf(op).top >= yT - 2)
        fills[c].push_back(FillOf(op));
  ASSERT_EQ(fills[0].size() + fills[1].size(), 5u);
  size_t next[2] = {};
  for (const auto& mark : marks) {
    const Rect fill = fills[mark.curve][next[mark.curve]++];
    EXPECT_NEAR(Mid(fill.left, fill.right), x(mark.gigabytesPerSecond), 1.0) << mark.gigabytesPerSecond;
    EXPECT_NEAR(Mid(fill.top, fill.bottom), y(mark.nanoseconds), 1.0) << mark.nanoseconds;
  }
  // Read's polyline runs through its marks and breaks at its gap: drawn to its
  // second point, then started again at its third.
  std::string readPath, throughMarks;
  for (const RecordedOperation& op : recorder.ops)
    if ((op.what == "move" || op.what == "line") && op.state.penColour == CompareRunColour(0) && op.y >= yT)
      readPath += op.what + " " + Point(op.x, op.y) + ", ";
  for (size_t i = 0; i < fills[0].size(); ++i)
    throughMarks += (i == 1 ? "line " : "move ") + Point(Mid(fills[0][i].left, fills[0][i].right),
                                                         Mid(fills[0][i].top, fills[0][i].bottom)) + ", ";
  EXPECT_EQ(readPath, throughMarks);

  // The idle line: dotted, across the plot at 180 ns, in a colour of its own, with its figure.
  const RecordedOperation* idleLine = nullptr;
  for (const RecordedOperation& op : recorder.ops)
    if (op.what == "line" && op.state.dottedPen) idleLine = &op;
  ASSERT_NE(idleLine, nullptr);
  EXPECT_NEAR(idleLine->y, y(180), 1.0);
  EXPECT_EQ(idleLine->state.y, idleLine->y);
  EXPECT_EQ(idleLine->x, xR + 1);
  EXPECT_NE(idleLine->state.penColour, CompareRunColour(0));
  EXPECT_NE(idleLine->state.penColour, CompareRunColour(1));
  EXPECT_NE(recorder.Find(L"idle 180 ns"), nullptr);

  // Nothing reaches outside the client rectangle (text is 6 x 13 pixels a character).
  for (const RecordedOperation& op : recorder.ops) {
    Rect r = {op.x, op.y, op.x + 1, op.y + 1};
    if (op.what == "fill") r = FillOf(op);
    else if (op.what == "text") r.right = op.x + 6 * static_cast<int32_t>(op.text.size()), r.bottom = op.y + 13;
    else if (op.what != "move" && op.what != "line") continue;
    EXPECT_TRUE(r.left >= client.left && r.top >= client.top && r.right <= client.right && r.bottom <= client.bottom)
        << op.line;
  }
}

TEST_F(DisplayTest, LoadedLatencyChartWithoutPointsDrawsTheAxesAndSaysSo) {
  const uint64_t bandwidth[] = {2000000000, 1000000000}, noLatency[] = {0, 0};
  const LoadedLatencyChartCurve emptyCurve = {L"read", nullptr, nullptr, 0};
  const LoadedLatencyChartCurve unmeasured = {L"copy", bandwidth, noLatency, 2};
  // 0 to 1 GB/s and 0 to 100 ns, or up to the idle latency where it is known.
  const struct {
    LoadedLatencyChartData data;
    const wchar_t* latencyTop;
  } rows[] = {{{nullptr, 0, 0, nullptr}, L"100"},
              {{&emptyCurve, 1, 0, nullptr}, L"100"},
              {{&unmeasured, 1, 198000, L"t"}, L"200"}};
  for (const auto& row : rows) {
    recorder.Clear();
    PaintLoadedLatencyChart(recorder.canvas, Rect{0, 0, 400, 300}, row.data, kPanelFont);
    EXPECT_NE(recorder.Find(L"no points"), nullptr) << row.data.curveCount;
    EXPECT_NE(recorder.Find(L"bandwidth (GB/s)"), nullptr) << row.data.curveCount;
    EXPECT_NE(recorder.Find(L"1.0"), nullptr) << row.data.curveCount;
    EXPECT_NE(recorder.Find(row.latencyTop), nullptr) << row.data.curveCount;
    size_t dottedLines = 0;
    for (const RecordedOperation& op : recorder.ops) dottedLines += op.state.dottedPen && op.what == "line";
    EXPECT_EQ(dottedLines, row.data.idlePicoseconds != 0 ? 1u : 0u) << row.data.curveCount;
  }
}
