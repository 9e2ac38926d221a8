#include "display/panel.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "display/format.h"
#include "display/layout.h"
#include "display/survey_scales.h"
#include "tests/support/recording_canvas.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10, MiB = KiB << 10, GiB = MiB << 10;
using Lines = std::vector<std::string>;

class PanelTest : public DisplayTest {
 protected:
  Lines Paint(const Rect& rect = GetPanelRect(Rect{0, 0, 700, 400})) {  // (5, 5, 695, 55)
    recorder.Clear();
    PaintResultsPanel(recorder.canvas, rect);
    return recorder.Lines();
  }
};

// The empty panel, in rows 13 apart, the figures 110 right of their labels.
Lines EmptyPanel(const std::string& placeholder) {
  Lines lines = {"font 101", "clip 5 5 695 55", "fill 5 5 695 55 rgb(0,0,0)", "edge 5 5 695 55"};
  const std::string columns[] = {"L1 Cache", "L2 Cache", "Speicher"}, rows[] = {"Lesen", "Schreiben", "Kopieren"};
  const std::string colours[] = {"rgb(255,200,0)", "rgb(255,0,0)", "rgb(0,200,255)"};
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) {
      const std::string y = " " + std::to_string(10 + 13 * r) + " '", figure = c == 2 ? placeholder : "0.000 GiB/s";
      lines.insert(lines.end(), {"text colour rgb(255,255,255)", "text " + std::to_string(10 + 180 * c) + y + columns[c] +
                                 " " + rows[r] + ": '", "text colour " + (c == 2 ? "rgb(255,255,0)" : colours[r]),
                                 "text " + std::to_string(120 + 180 * c) + y + figure + "'"});
    }
  // 23 characters right-aligned to 690; the version 15 below the top.
  lines.insert(lines.end(), {"text colour rgb(255,255,255)", "text 552 10 'Taktfrequenz: 0.000 MHz'",
                             "text colour rgb(128,128,128)", "text 570 25 'Version: 2.0 Alpha 4'"});
  return lines;
}

TEST_F(PanelTest, EmptyStateDrawsEveryTextInOrderAndBlinksThePlaceholderRowsFollowTheMeasuredSizes) {
  EXPECT_EQ(Paint(), EmptyPanel(" "));
  EXPECT_EQ(Paint(), EmptyPanel("?"));
  FreeArrays();
  EXPECT_EQ(Paint(), EmptyPanel(" "));
  for (const Rect& rect : {Rect{5, 5, 5, 55}, Rect{5, 5, -3, 55}, Rect{5, 60, 695, 55}})
    EXPECT_TRUE(Paint(rect).empty()) << Str(rect);
  EXPECT_EQ(Paint(), EmptyPanel("?"));  // the empty rectangles left the phase alone
  recorder.fontMetrics[kPanelFont] = {7, 20};
  recorder.textExtents[L"Taktfrequenz: 2394.123 MHz"] = {200, 20};
  measurementState.clockHz = 2394123456u;
  Paint();
  EXPECT_EQ(recorder.Where(L"L2 Cache Kopieren: ") + ", " + recorder.Where(L"Speicher Schreiben: ") + ", " +
                recorder.Where(L"Taktfrequenz: 2394.123 MHz") + ", " + recorder.Where(L"Version: 2.0 Alpha 4"),
            "190 50 rgb(255,255,255), 370 30 rgb(255,255,255), 490 10 rgb(255,255,255), 550 25 rgb(128,128,128)");
}

TEST_F(PanelTest, CacheFiguresAreTheLargestRatesStrictlyInsideTheirWindows) {
  // Windows of 8 KiB either side of half the cache: 64 KiB gives 24 < d < 40 KiB, 512 KiB 248 < d < 264 KiB;
  // below the half width they reach down to d = 0 (8 KiB), or stop just above it (16 KiB).
  const struct { uint32_t l1; bool rising; int64_t l1Index, l2Index; } cases[] = {
      {64 * KiB, true, 39, 263}, {64 * KiB, false, 25, 249}, {8 * KiB, false, 0, 249},
      {8 * KiB, true, 11, 263},  {16 * KiB, false, 1, 249},  {16 * KiB, true, 15, 263}};
  for (const auto& c : cases) {
    measurementState.l1CacheSize = c.l1;
    for (uint32_t i = 0; i < BlockCount(); ++i) {  // write and copy apart from read tell the three maxima apart
      const uint64_t r = c.rising ? 100000 + i : 200000 - i;
      SetEntry(i, r, r + 1000000, r + 2000000);
    }
    const PanelFigures f = ComputePanelFigures();
    const int64_t sign = c.rising ? 1 : -1, base = c.rising ? 100000 : 200000;
    EXPECT_EQ(sign * (int64_t(f.l1[0]) - base), c.l1Index) << c.l1 << " " << c.rising;
    EXPECT_EQ(sign * (int64_t(f.l2[0]) - base), c.l2Index) << c.l1 << " " << c.rising;
    EXPECT_EQ(f.l1[1] - f.l1[0] + f.l2[2] - f.l2[0] + f.memoryCount, 3000000u);  // 2 MiB ends below 4 * l2
  }
}

TEST_F(PanelTest, AnEntryCountsInOneRegionOnlyAndMemoryFiguresAreTruncatingMeansOfFullyMeasuredEntries) {
  measurementState.l1CacheSize = measurementState.l2CacheSize = 64 * KiB;  // the same window
  SetEntry(31, 5 * GiB, 6 * GiB, 0);  // not fully measured
  SetEntry(33, 2 * GiB, 3 * GiB, 4 * GiB);
  PanelFigures f = ComputePanelFigures();
  EXPECT_EQ(std::vector<uint64_t>({f.l1[0], f.l1[1], f.l1[2], f.l2[0]}), (std::vector<uint64_t>{2 * GiB, 3 * GiB, 4 * GiB, 0}));
  // An L1 window over the memory region (d > 4 * l2 = 2 MiB) keeps its entries.
  UseSettings(8 * MiB, 1024);
  measurementState.l1CacheSize = 4 * MiB, measurementState.l2CacheSize = 512 * KiB;
  SetEntry(2049, 3 * GiB, 3 * GiB, 0);
  SetEntry(2050, 2 * GiB, 2 * GiB, 2 * GiB);
  SetEntry(6000, 1 * GiB, 3, 1000);
  SetEntry(6001, 2 * GiB, 4, 1001);
  f = ComputePanelFigures();
  EXPECT_EQ(f.l1[0], 2 * GiB);
  EXPECT_EQ(std::vector<uint64_t>({f.memoryCount, f.memory[0], f.memory[1], f.memory[2]}),
            (std::vector<uint64_t>{2, 3 * GiB / 2, 3, 1000}));
  const Lines lines = Paint();  // in yellow; small means are no placeholders
  EXPECT_EQ(recorder.Where(L"1.512 GiB/s"), "480 10 rgb(255,255,0)");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "text 480 23 '0.000 GiB/s'"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "text 480 36 '0.000 GiB/s'"), 1);
  measurementState.l1CacheSize = 64 * KiB;  // the largest area: memory from just above 2 MiB to the last entry
  for (uint32_t i = 2049; i < BlockCount(); ++i) SetEntry(i, GiB, GiB, GiB);
  SetEntry(2048, 900 * GiB, 900 * GiB, 900 * GiB);  // d = 2 MiB exactly: not memory
  f = ComputePanelFigures();
  EXPECT_EQ(std::vector<uint64_t>({f.memoryCount, f.memory[0]}), (std::vector<uint64_t>{8189 - 2049 + 1, GiB}));
}

TEST(Format, GiBRatesClockBinaryUnitsAndSurveyFigures) {
  constexpr uint64_t TiB = GiB << 10;
  const struct { char kind; uint64_t value; const char* text; } cases[] = {  // kind: GiB rate, clock, rate, size...
      {'g', GiB + 512 * MiB, "1.512 GiB/s"}, {'g', GiB + 1000 * MiB, "2.000 GiB/s"}, {'g', GiB + 1023 * MiB, "2.023 GiB/s"},
      {'g', 3 * GiB + 999 * MiB + 5, "3.999 GiB/s"}, {'g', GiB + 7 * MiB, "1.007 GiB/s"}, {'g', MiB - 1, "0.000 GiB/s"},
      {'g', MiB, "0.001 GiB/s"}, {'g', UINT64_MAX, "17179869184.023 GiB/s"},
      {'c', 2394123456u, "Taktfrequenz: 2394.123 MHz"}, {'c', 999999, "Taktfrequenz: 0.999 MHz"},
      {'c', 2600045000u, "Taktfrequenz: 2600.045 MHz"}, {'c', UINT64_MAX, "Taktfrequenz: 18446744073709.551 MHz"},
      {'r', 0, "0 B/s"}, {'r', 1023, "1023 B/s"}, {'r', 1024, "1 KiB/s"}, {'r', MiB - 1, "1023 KiB/s"},
      {'r', 128 * MiB, "128 MiB/s"}, {'r', 3 * GiB, "3 GiB/s"}, {'r', TiB, "1 TiB/s"}, {'r', 1024 * TiB, "1024 TiB/s"},
      {'r', UINT64_MAX, "16777215 TiB/s"}, {'s', 2048, "2 KiB"}, {'s', 8 * MiB - 1, "7 MiB"},
      {'G', 99996000000, "100.0 GB/s"}, {'n', 98749, "98.7 ns"}, {'n', 147600, "148 ns"}};  // ... GB/s, ns
  for (const auto& c : cases) {
    TextBuffer buffer;
    std::fill(std::begin(buffer), std::end(buffer), L'#');  // a missing terminator shows
    if (c.kind == 'g') FormatGiBRate(c.value, buffer);
    if (c.kind == 'c') FormatClockFrequency(c.value, buffer);
    if (c.kind == 'r' || c.kind == 's') FormatBinaryQuantity(c.kind == 'r' ? rateUnits : sizeUnits, c.value, buffer);
    if (c.kind == 'G') FormatGigabytesPerSecond(c.value, buffer);
    if (c.kind == 'n') FormatNanoseconds(c.value, buffer);
    ASSERT_LT(TextLength(buffer), kTextBufferLength) << c.text;
    EXPECT_EQ(Narrow(buffer), c.text);
  }
  for (uint32_t k = 1; k < 64; ++k) EXPECT_EQ(Log2Fixed(uint64_t{1} << k), int64_t{k} << 16);
  EXPECT_NEAR(Log2Fixed(3 * KiB), (10 + std::log2(3.0)) * 65536, 1.0);
}

}  // namespace
