// The survey's picture through the recorder: where sizes, levels and rates
// land, what the per-level panel says, the latency curve only when given,
// and degenerate data drawing without harm.
#include "display/survey_chart.h"

#include <cmath>
#include <cwchar>

#include "display/survey_scales.h"
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
      {L"L1", 32 * KiB, {110120000000, 77000000000, 60500000000}, {L"ReadAvx512", L"WriteAvx2", L"CopyAvx"}, 1020},
      {L"DRAM", 0, {20110000000, 0, 0}, {L"ReadAvx2", L"Ghost", nullptr}, 0}};
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

  void Paint(const SurveyChartData& data, Rect client = Rect{0, 0, 900, 600}) {
    recorder.Clear();
    PaintSurveyChart(recorder.canvas, client, data);
    xL = xR = yT = yB = 0;
    for (const RecordedOperation& l : recorder.Of("line")) {  // the left axis, then the bottom axis from its foot
      if (l.state.penColour != kAxis || l.state.dottedPen) continue;
      if (l.state.x == l.x && yB == 0) xL = l.x, yT = l.state.y, yB = l.y;
      if (yB != 0 && l.state.y == yB && l.y == yB && l.state.x == xL) xR = l.x - 1;
    }
  }
  // Where a length belongs on the logarithmic size axis of lengths first..last.
  double X(uint64_t length, uint64_t first, uint64_t last) const {
    return xL + (xR - xL) * std::log2(double(length) / first) / std::log2(double(last) / first);
  }
  // The points of the polyline in colour drawn after operation from, matched in order to the nonzero values.
  std::vector<Point> CurvePoints(Colour colour, size_t from, const SurveySet& set, const uint64_t* values) const {
    std::vector<Point> points;
    size_t entry = 0;
    for (size_t k = from; k < recorder.ops.size(); ++k) {
      const RecordedOperation& op = recorder.ops[k];
      if ((op.what != "move" && op.what != "line") || op.state.penColour != colour) continue;
      while (entry < set.lengths.size() && values[entry] == 0) ++entry;
      if (entry == set.lengths.size()) break;
      points.push_back(Point{op.x, op.y, set.lengths[entry], values[entry]});
      ++entry;
    }
    return points;
  }
  size_t LastIndexOf(const std::string& what) const {
    size_t last = 0;
    for (size_t k = 0; k < recorder.ops.size(); ++k) last = recorder.ops[k].what == what ? k : last;
    return last;
  }
  // Inside the plot, and higher values higher up (a smaller y); clearly higher ones strictly.
  void ExpectInsideAndOrdered(const std::vector<Point>& points) const {
    for (const Point& p : points) {
      EXPECT_TRUE(p.y >= yT && p.y <= yB) << p.y;
      for (const Point& q : points) {
        ASSERT_TRUE(p.value <= q.value || p.y <= q.y) << p.value << " vs " << q.value;
        ASSERT_TRUE(p.value <= q.value + q.value / 5 || p.y < q.y) << p.value << " vs " << q.value;
      }
    }
  }
};

TEST_F(SurveyChartTest, SizesLevelsAndRatesLandWhereTheyBelong) {
  const struct { uint64_t first, last; int perDoubling; int32_t width, height; size_t levelsInside; } cases[] = {{2 * KiB, 256 * MiB, 8, 1200, 800, 3}, {2 * KiB, 256 * MiB, 8, 684, 449, 3},
               {2 * KiB, 16 * MiB, 1, 900, 600, 2}, {3 * KiB, 1 * MiB, 4, 500, 400, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " at " + std::to_string(c.width));
    SurveySet set(c.first, c.last, c.perDoubling);
    const uint64_t last = set.lengths.back();
    Paint(set.Data(), Rect{0, 0, c.width, c.height});
    ASSERT_GT(xR - xL, 100);
    ASSERT_GT(yB - yT, 100);

    // Every power-of-two grid line at its place: the doublings are equally wide.
    for (const RecordedOperation& l : recorder.Of("line")) {
      if (l.state.penColour != kGrid || l.state.x != l.x || l.state.y != yT) continue;
      const double power = std::log2(double(c.first)) + (l.x - xL) * std::log2(double(last) / c.first) / (xR - xL);
      EXPECT_NEAR(l.x, X(uint64_t(std::exp2(std::round(power))), c.first, last), 1.0);
    }

    // The levels inside the axis: a dotted line at the size, the name above it.
    size_t marks = 0;
    for (const RecordedOperation& l : recorder.Of("line")) {
      if (!l.state.dottedPen) continue;
      ASSERT_LT(marks, set.levels.size());
      const SurveyChartLevel& level = set.levels[marks++];
      EXPECT_NEAR(l.x, X(level.sizeBytes, c.first, last), 1.0) << Narrow(level.name);
      const RecordedOperation* name = recorder.Find(level.name);
      ASSERT_NE(name, nullptr);
      EXPECT_NEAR(name->x + 3 * int32_t(std::wcslen(level.name)), l.x, 1);
      EXPECT_LT(name->y + 13, yT);
    }
    EXPECT_EQ(marks, c.levelsInside);

    // The three curves: at their lengths, inside the plot, ordered by rate.
    std::vector<Point> all;
    for (int j = 0; j < 3; ++j) {
      const std::vector<Point> points = CurvePoints(measurementState.curveColours[j], LastIndexOf("dotted pen"), set,
                                                    set.rates[j].data());
      ASSERT_EQ(points.size(), set.lengths.size());
      for (const Point& p : points) EXPECT_NEAR(p.x, X(p.length, c.first, last), 1.0);
      all.insert(all.end(), points.begin(), points.end());
    }
    ExpectInsideAndOrdered(all);

    // The rate labels left of the plot (GB/s) give the scale every point keeps.
    double zeroY = -1, topY = 0, topRate = 0;
    for (const RecordedOperation& text : recorder.Of("text")) {
      if (text.x + 6 * int32_t(text.text.size()) != xL - 5) continue;
      const double rate = std::stod(Narrow(text.text)) * 1e9, y = text.y + 13 / 2;
      if (rate == 0) zeroY = y;
      if (rate > topRate) topRate = rate, topY = y;
    }
    ASSERT_EQ(zeroY, yB);
    ASSERT_GT(topRate, 0);
    for (const Point& p : all) EXPECT_NEAR(p.y, zeroY - (zeroY - topY) * p.value / topRate, 1.0);
  }
}

TEST_F(SurveyChartTest, PanelShowsEachFigureWithItsKernelAndADashWhereThereIsNone) {
  SurveySet set(2 * KiB, 64 * MiB, 2);
  Paint(set.Data());
  const struct { const wchar_t *figure, *kernel; } cells[] = {{L"110.1 GB/s", L"ReadAvx512"}, {L"77.00 GB/s", L"WriteAvx2"}, {L"60.50 GB/s", L"CopyAvx"},
               {L"1.02 ns", nullptr},          {L"32 KiB", nullptr}};
  for (const auto& cell : cells) {
    const RecordedOperation* figure = recorder.Find(cell.figure);
    ASSERT_NE(figure, nullptr) << Narrow(cell.figure);
    EXPECT_LT(figure->y, yT);
    if (cell.kernel == nullptr) continue;
    const RecordedOperation* kernel = recorder.Find(cell.kernel);
    ASSERT_NE(kernel, nullptr) << Narrow(cell.kernel);
    EXPECT_EQ(kernel->y, figure->y);
    EXPECT_GT(kernel->x, figure->x + 6 * int32_t(std::wcslen(cell.figure)));
  }
  // DRAM: no write, copy or latency figure, no size, and no kernel for a missing figure.
  std::vector<std::wstring> dramRow;
  for (const RecordedOperation& text : recorder.Of("text"))
    if (text.y == recorder.Find(L"DRAM")->y) dramRow.push_back(text.text);
  EXPECT_EQ(dramRow, (std::vector<std::wstring>{L"DRAM", L"20.11 GB/s", L"ReadAvx2", L"\u2014", L"\u2014", L"\u2014"}));

  // Too narrow for the kernel names: the figures stay, the names go.
  Paint(set.Data(), Rect{0, 0, 420, 400});
  EXPECT_NE(recorder.Find(L"110.1 GB/s"), nullptr);
  EXPECT_EQ(recorder.Find(L"ReadAvx512"), nullptr);
}

TEST_F(SurveyChartTest, LatencyCurveAndAxisOnlyWhenGiven) {
  SurveySet set(2 * KiB, 256 * MiB, 4);
  Paint(set.Data());
  const RecordedOperation* title = recorder.Find(L"Latency (ns)");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->state.font, kAxisFont);
  EXPECT_GT(title->x, xR);
  const std::vector<Point> points = CurvePoints(kLatency, LastIndexOf("text"), set, set.latency.data());
  ASSERT_EQ(points.size(), set.lengths.size());
  ExpectInsideAndOrdered(points);

  set.withLatency = false;
  set.figures[0].latencyPicoseconds = 0;
  Paint(set.Data());
  for (const RecordedOperation& op : recorder.ops) {
    EXPECT_FALSE(op.state.penColour == kLatency && op.what == "line");
    EXPECT_TRUE(op.text.find(L"Latency") == std::wstring::npos) << Narrow(op.text);
  }
}

TEST_F(SurveyChartTest, DegenerateDataDrawsWhatItCanWithinTheClient) {
  const uint64_t one[1] = {64 * KiB}, rate[1] = {5000000000};
  const uint64_t zeros[4] = {0, 0, 0, 0}, someLengths[4] = {0, 4 * KiB, 0, 16 * KiB};
  const int32_t huge = int32_t{1} << 30;
  // readSegments: drawn in the read colour inside the plot, two per lone point.
  const struct { const char* name; SurveyChartData data; Rect client; size_t readSegments; } cases[] = {
      {"nothing", SurveyChartData{}, Rect{0, 0, 600, 400}, 0},
      {"a single length", SurveyChartData{one, 1, {rate, rate, rate}, one}, Rect{0, 0, 600, 400}, 2},
      {"zero lengths", SurveyChartData{someLengths, 4, {someLengths, zeros, nullptr}, zeros}, Rect{0, 0, 600, 400}, 4},
      {"all-zero rates", SurveyChartData{someLengths, 4, {zeros, zeros, zeros}}, Rect{0, 0, 600, 400}, 0},
      {"tiny client", SurveyChartData{one, 1, {rate, rate, rate}, one}, Rect{0, 0, 12, 9}, 0},
      {"huge client", SurveyChartData{one, 1, {rate, rate, rate}}, Rect{-huge, -huge, huge, huge}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Paint(c.data, c.client);
    ASSERT_GE(recorder.Of("fill").size(), 1u);
    size_t segments = 0;
    for (const RecordedOperation& op : recorder.ops) {
      EXPECT_LE(std::abs(op.x), 1 << 27);
      EXPECT_LE(std::abs(op.y), 1 << 27);
      if (op.what != "line" || op.state.penColour != measurementState.curveColours[0] || op.y < yT || op.y > yB) continue;
      EXPECT_GE(std::min(op.x, op.state.x), xL);
      EXPECT_LE(std::max(op.x, op.state.x), xR);
      ++segments;
    }
    EXPECT_EQ(segments, c.readSegments);
  }
}

TEST(SurveyScales, LogarithmAndRoundedFigureTexts) {
  for (uint32_t k = 1; k < 64; ++k) EXPECT_EQ(Log2Fixed(uint64_t{1} << k), int64_t{k} << 16);
  EXPECT_NEAR(Log2Fixed(3 * KiB), (10 + std::log2(3.0)) * 65536, 1.0);
  TextBuffer rate, tens, hundreds;
  FormatGigabytesPerSecond(99996000000, rate);
  FormatNanoseconds(98749, tens);
  FormatNanoseconds(147600, hundreds);
  EXPECT_EQ(Narrow(rate) + ", " + Narrow(tens) + ", " + Narrow(hundreds), "100.0 GB/s, 98.7 ns, 148 ns");
}

}  // namespace
