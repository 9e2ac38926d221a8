// The comparison's picture through the recorder: each run in its own colour
// in all three panels, the lower rates drawn lower, a zero left as a gap, the
// legend naming each run in its colour.
#include "display/compare_chart.h"

#include "tests/support/recording_canvas.h"

TEST_F(DisplayTest, CompareChartOverlaysEachRunInItsColourInThreePanels) {
  std::vector<uint64_t> lengths, ratesA[3], ratesB[3];
  for (uint32_t i = 0; i < 10; ++i) {
    lengths.push_back(uint64_t{2048} << i);
    for (uint32_t group = 0; group < 3; ++group) {
      ratesA[group].push_back((100 - 30 * group) * uint64_t{1000000000});
      ratesB[group].push_back(i == 4 && group == 0 ? 0 : (80 - 30 * group) * uint64_t{1000000000});
    }
  }
  const CompareChartRun runs[2] = {
      {L"A  before", lengths.data(), 10, {ratesA[0].data(), ratesA[1].data(), ratesA[2].data()}},
      {L"B  after", lengths.data(), 10, {ratesB[0].data(), ratesB[1].data(), ratesB[2].data()}}};
  PaintCompareChart(recorder.canvas, Rect{0, 0, 900, 700}, CompareChartData{runs, 2, L"1 thread"}, kPanelFont);

  ASSERT_NE(CompareRunColour(0), CompareRunColour(1));
  std::vector<RecordedOperation> curves[2];  // each run's moves and lines, in order
  for (const RecordedOperation& op : recorder.ops)
    for (uint32_t run = 0; run < 2; ++run)
      if ((op.what == "move" || op.what == "line") && op.state.penColour == CompareRunColour(run) &&
          recorder.Find(L"A  before")->y + 20 < op.y)  // below the legend
        curves[run].push_back(op);
  ASSERT_EQ(curves[0].size(), 30u);
  ASSERT_EQ(curves[1].size(), 29u);  // the zero read rate is a gap
  size_t moves[2] = {};
  for (uint32_t run = 0; run < 2; ++run)
    for (const RecordedOperation& op : curves[run]) moves[run] += op.what == "move";
  EXPECT_EQ(moves[0], 3u);  // one polyline per panel
  EXPECT_EQ(moves[1], 4u);
  // Point by point, B (lower rates) lies below A in the same panel, at the same x.
  for (size_t a = 0, b = 0; a < 30; ++a) {
    if (a == 4) continue;  // B's gap
    EXPECT_EQ(curves[0][a].x, curves[1][b].x) << a;
    EXPECT_LT(curves[0][a].y, curves[1][b].y) << a;
    if (a % 10 > 0) {
      EXPECT_GT(curves[0][a].x, curves[0][a - 1].x) << a;
    }
    ++b;
  }
  EXPECT_EQ(recorder.Find(L"B  after")->state.textColour, CompareRunColour(1));
  EXPECT_NE(recorder.Find(L"copy (GB/s)"), nullptr);
}
