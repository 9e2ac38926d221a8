// The core-to-core heat map: its colour scale, the lines between cache
// groups and the frames around a core's own pairs.
#include <gtest/gtest.h>

#include "display/latency_matrix_chart.h"
#include "tests/support/recording_canvas.h"

TEST(LatencyMatrixChart, ScaleRunsFromBlueThroughGreenToYellow) {
  struct Row {
    uint64_t picoseconds, lowest, highest;
    Colour colour;
  };
  const Row rows[] = {
      {10000, 10000, 110000, MakeColour(20, 40, 150)},  {110000, 10000, 110000, MakeColour(250, 230, 60)},
      {60000, 10000, 110000, MakeColour(30, 170, 90)},  {5000, 10000, 110000, MakeColour(20, 40, 150)},
      {200000, 10000, 110000, MakeColour(250, 230, 60)}, {50000, 50000, 50000, MakeColour(20, 40, 150)},
  };
  for (const Row& row : rows)
    EXPECT_EQ(Rgb(LatencyScaleColour(row.picoseconds, row.lowest, row.highest)), Rgb(row.colour)) << row.picoseconds;
}

TEST(LatencyMatrixChart, GroupLinesAndSiblingFrames) {
  // Two L3 groups {0, 2} and {1, 3}; processors 0 and 2 are one core's threads.
  const uint32_t processors[] = {0, 2, 1, 3}, cores[] = {0, 0, 1, 2};
  const int32_t groups[] = {0, 0, 1, 1};
  uint64_t picoseconds[16] = {};
  for (uint32_t cell = 0; cell < 16; ++cell)
    if (cell % 5 != 0) picoseconds[cell] = 20000 + 1000 * cell;
  const Colour groupLine = MakeColour(255, 255, 255), frame = MakeColour(255, 80, 80);
  RecordingCanvas recorder;
  PaintLatencyMatrix(recorder.canvas, Rect{0, 0, 600, 400}, {4, processors, cores, groups, picoseconds, L"title"},
                     {1, MakeColour(0, 0, 0), MakeColour(255, 255, 255), groupLine, frame});
  uint32_t frames = 0, groupLines = 0;
  for (const RecordedOperation& op : recorder.ops) {
    if (op.what == "pen" && op.line == "pen " + Rgb(frame)) ++frames;
    if (op.what == "line" && op.state.penColour == groupLine) ++groupLines;
  }
  EXPECT_EQ(frames, 2u);      // cells (0,2) and (2,0)
  EXPECT_EQ(groupLines, 2u);  // one vertical and one horizontal line, between the groups
}
