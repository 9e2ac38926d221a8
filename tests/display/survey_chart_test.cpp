// The survey's picture through the recorder: where sizes, levels and rates
// land, what the per-level panel says, the latency curve only when given,
// and degenerate data drawing without harm.
#include "display/survey_chart.h"

#include <cmath>
#include <cwchar>

#include "tests/support/recording_canvas.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10, MiB = uint64_t{1} << 20;
constexpr Colour kAxis = MakeColour(0, 150, 0), kGrid = MakeColour(0, 72, 0), kLatency = MakeColour(230, 110, 255);

// A survey over first..last at perDoubling lengths a doubling: read 110, 70,
// 45, 20 GB/s by level, write and copy lower, latency rising with the size.
struct SurveySet {
  std::vector<uint64_t> lengths, rates[3], latency;
  std::vector<SurveyChartLevel> levels = {{L"L1d", 32 * KiB}, {L"L2", 512 * KiB}, {L"L3", 32 * MiB}};
  std::vector<SurveyChartFigure> figures = {
      {L"L1", 32 * KiB, {110120000000, 77000000000, 60500000000}, {L"ReadAvx512", L"WriteAvx2", L"CopyAvx"}, 1020, {7, 0, 12}},
      {L"memory", 0, {20110000000, 0, 0}, {L"ReadAvx2", L"Ghost", nullptr}, 0}};
  bool withLatency = true;

  SurveySet(uint64_t first, uint64_t last, int perDoubling) {
    for (uint64_t i = 0;; ++i) {
      const uint64_t length = uint64_t(first * std::exp2(double(i) / perDoubling) / 128 + 0.5) * 128;
      if (length > last) break;
      lengths.push_back(length);
      const uint64_t read = length <= 32 * KiB ? 110 : length <= 512 * KiB ? 70 : length <= 32 * MiB ? 45 : 20;
      for (int j = 0; j < 3; ++j) rates[j].push_back(read * (1000 - 150 * j - 150 * (j > 0)) * 1000000 + i % 3 * 1000000000);
      latency.push_back(1000 + 300 * i);
    }
  }
  SurveyChartData Data() const {
    return {lengths.data(), uint32_t(lengths.size()), {rates[0].data(), rates[1].data(), rates[2].data()},
            withLatency ? latency.data() : nullptr, levels.data(), uint32_t(levels.size()),
            figures.data(), uint32_t(figures.size()), L"Test machine \u00b7 1 thread"};
  }
};

struct Point { int32_t x, y; uint64_t length, value; };

class SurveyChartTest : public DisplayTest {
 protected:
  int32_t xL = 0, xR = 0, yT = 0, yB = 0;

  // Paints, finds the plot by its axes, and checks that every coordinate stays within +-2^27.
  void Paint(const SurveyChartData& data, Rect client = Rect{0, 0, 900, 600}) {
    recorder.Clear();
    PaintSurveyChart(recorder.canvas, client, data, DisplaySurveyChartStyle());
    ASSERT_GE(recorder.Of("fill").size(), 1u);
    xL = xR = yT = yB = 0;
    for (const RecordedOperation& l : recorder.ops) {  // the left axis, then the bottom axis from its foot
      ASSERT_TRUE(std::abs(l.x) <= 1 << 27 && std::abs(l.y) <= 1 << 27) << l.line;
      if (l.what != "line" || l.state.penColour != kAxis || l.state.dottedPen) continue;
      if (l.state.x == l.x && yB == 0) xL = l.x, yT = l.state.y, yB = l.y;
      if (yB != 0 && l.state.y == yB && l.y == yB && l.state.x == xL) xR = l.x - 1;
    }
  }
  // Where a length belongs on the logarithmic size axis of lengths first..last.
  double X(uint64_t length, uint64_t first, uint64_t last) const {
    return xL + (xR - xL) * std::log2(double(length) / first) / std::log2(double(last) / first);
  }
  // The points of the polyline in colour drawn after the last operation `after`, one for each length, in order.
  std::vector<Point> CurvePoints(Colour colour, const std::string& after, const SurveySet& set, const uint64_t* values) {
    size_t k = recorder.ops.size();
    while (k > 0 && recorder.ops[k - 1].what != after) --k;
    std::vector<Point> points;
    for (; k < recorder.ops.size() && points.size() < set.lengths.size(); ++k) {
      const RecordedOperation& op = recorder.ops[k];
      if ((op.what == "move" || op.what == "line") && op.state.penColour == colour)
        points.push_back(Point{op.x, op.y, set.lengths[points.size()], values[points.size()]});
    }
    EXPECT_EQ(points.size(), set.lengths.size());
    for (const Point& p : points) EXPECT_TRUE(p.y >= yT && p.y <= yB) << p.y;  // inside the plot
    return points;
  }
};

TEST_F(SurveyChartTest, SizesLevelsAndRatesLandWhereTheyBelong) {
  const struct { uint64_t first, last; int perDoubling; int32_t width, height; size_t levelsInside; } cases[] = {
      {2 * KiB, 256 * MiB, 8, 1200, 800, 3}, {2 * KiB, 256 * MiB, 8, 684, 449, 3},
      {2 * KiB, 16 * MiB, 1, 900, 600, 2},   {3 * KiB, 1 * MiB, 4, 500, 400, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " at " + std::to_string(c.width));
    SurveySet set(c.first, c.last, c.perDoubling);
    const uint64_t last = set.lengths.back();
    Paint(set.Data(), Rect{0, 0, c.width, c.height});
    ASSERT_TRUE(xR - xL > 100 && yB - yT > 100);
    size_t marks = 0;
    for (const RecordedOperation& l : recorder.Of("line")) {
      if (l.state.penColour == kGrid && l.state.x == l.x && l.state.y == yT) {  // power-of-two grid: equal doublings
        const double power = std::log2(double(c.first)) + (l.x - xL) * std::log2(double(last) / c.first) / (xR - xL);
        EXPECT_NEAR(l.x, X(uint64_t(std::exp2(std::round(power))), c.first, last), 1.0);
      }
      if (!l.state.dottedPen) continue;  // a level inside the axis: a dotted line at its size, its name above
      ASSERT_LT(marks, set.levels.size());
      const SurveyChartLevel& level = set.levels[marks++];
      EXPECT_NEAR(l.x, X(level.sizeBytes, c.first, last), 1.0) << Narrow(level.name);
      const RecordedOperation* name = recorder.Find(level.name);
      ASSERT_NE(name, nullptr);
      EXPECT_NEAR(name->x + 3 * int32_t(std::wcslen(level.name)), l.x, 1);
      EXPECT_LT(name->y + 13, yT);
    }
    EXPECT_EQ(marks, c.levelsInside);
    // The rate labels left of the plot (GB/s) give the scale every point of the three curves keeps.
    double zeroY = -1, topY = 0, topRate = 0;
    for (const RecordedOperation& text : recorder.Of("text")) {
      if (text.x + 6 * int32_t(text.text.size()) != xL - 5) continue;
      const double rate = std::stod(Narrow(text.text)) * 1e9, y = text.y + 13 / 2;
      if (rate == 0) zeroY = y;
      if (rate > topRate) topRate = rate, topY = y;
    }
    ASSERT_TRUE(zeroY == yB && topRate > 0);
    for (int j = 0; j < 3; ++j)
      for (const Point& p : CurvePoints(displayState.curveColours[j], "dotted pen", set, set.rates[j].data())) {
        EXPECT_NEAR(p.x, X(p.length, c.first, last), 1.0);
        EXPECT_NEAR(p.y, zeroY - (zeroY - topY) * p.value / topRate, 1.0);
      }
  }
  // Degenerate data: the read curve drawn inside the plot, a lone point as a cross of two segments.
  const uint64_t one[1] = {64 * KiB}, rate[1] = {5000000000}, zeros[4] = {}, someLengths[4] = {0, 4 * KiB, 0, 16 * KiB};
  const int32_t huge = int32_t{1} << 30;
  const struct { SurveyChartData data; Rect client; size_t readSegments; } degenerate[] = {
      {SurveyChartData{}, Rect{0, 0, 600, 400}, 0},
      {SurveyChartData{one, 1, {rate, rate, rate}, one}, Rect{0, 0, 600, 400}, 2},
      {SurveyChartData{someLengths, 4, {someLengths, zeros, nullptr}, zeros}, Rect{0, 0, 600, 400}, 4},
      {SurveyChartData{someLengths, 4, {zeros, zeros, zeros}}, Rect{0, 0, 600, 400}, 0},
      {SurveyChartData{one, 1, {rate, rate, rate}, one}, Rect{0, 0, 12, 9}, 0},
      {SurveyChartData{one, 1, {rate, rate, rate}}, Rect{-huge, -huge, huge, huge}, 2}};
  for (const auto& d : degenerate) {
    Paint(d.data, d.client);
    size_t segments = 0;
    for (const RecordedOperation& op : recorder.Of("line")) {
      if (op.state.penColour != displayState.curveColours[0] || op.y < yT || op.y > yB) continue;
      EXPECT_TRUE(std::min(op.x, op.state.x) >= xL && std::max(op.x, op.state.x) <= xR) << op.line;
      ++segments;
    }
    EXPECT_EQ(segments, d.readSegments) << &d - degenerate;
  }
}

TEST_F(SurveyChartTest, PanelShowsEachFigureWithItsSpreadAndKernelAndADashWhereThereIsNone) {
  SurveySet set(2 * KiB, 64 * MiB, 2);
  Paint(set.Data());
  // A figure with a spread over the passes shows it; none where it is 0.
  const wchar_t* cells[][2] = {{L"110.1 GB/s \u00B17%", L"ReadAvx512"}, {L"77.00 GB/s", L"WriteAvx2"},
                               {L"60.50 GB/s \u00B112%", L"CopyAvx"},  {L"1.02 ns", nullptr}, {L"32 KiB", nullptr}};
  for (const auto& cell : cells) {
    const RecordedOperation *figure = recorder.Find(cell[0]), *kernel = cell[1] ? recorder.Find(cell[1]) : figure;
    ASSERT_TRUE(figure != nullptr && kernel != nullptr) << Narrow(cell[0]);
    EXPECT_LT(figure->y, yT);
    EXPECT_EQ(kernel->y, figure->y);
    EXPECT_TRUE(cell[1] == nullptr || kernel->x > figure->x + 6 * int32_t(std::wcslen(cell[0])));
  }
  // Memory: no write, copy or latency figure, no size, and no kernel for a missing figure.
  std::vector<std::wstring> memoryRow;
  for (const RecordedOperation& text : recorder.Of("text"))
    if (text.y == recorder.Find(L"memory")->y) memoryRow.push_back(text.text);
  EXPECT_EQ(memoryRow, (std::vector<std::wstring>{L"memory", L"20.11 GB/s", L"ReadAvx2", L"\u2014", L"\u2014", L"\u2014"}));
  // Too narrow for the kernel names: the figures stay, the names go.
  Paint(set.Data(), Rect{0, 0, 420, 400});
  EXPECT_TRUE(recorder.Find(L"110.1 GB/s \u00B17%") != nullptr && recorder.Find(L"ReadAvx512") == nullptr);
}

TEST_F(SurveyChartTest, LatencyCurveAndAxisOnlyWhenGiven) {
  SurveySet set(2 * KiB, 256 * MiB, 4);
  Paint(set.Data());
  const RecordedOperation* title = recorder.Find(L"Latency (ns)");
  ASSERT_NE(title, nullptr);
  EXPECT_TRUE(title->state.font == kAxisFont && title->x > xR);
  const std::vector<Point> points = CurvePoints(kLatency, "text", set, set.latency.data());  // rising latencies
  for (size_t i = 1; i < points.size(); ++i) EXPECT_LE(points[i].y, points[i - 1].y) << i;
  ASSERT_LT(points.back().y + (yB - yT) / 2, points.front().y);
  set.withLatency = false;
  set.figures[0].latencyPicoseconds = 0;
  Paint(set.Data());
  for (const RecordedOperation& op : recorder.ops)
    EXPECT_TRUE(op.text.find(L"Latency") == std::wstring::npos && !(op.state.penColour == kLatency && op.what == "line"))
        << op.line;
}

}  // namespace
