#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "display/client_area.h"
#include "display/layout.h"
#include "display/panel.h"
#include "tests/display/display_fixture.h"
#include "tests/support/recording_canvas.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10;
constexpr uint64_t MiB = uint64_t{1} << 20;
constexpr uint64_t GiB = uint64_t{1} << 30;

// A client area of 700 x 400 gives the panel (5, 5, 695, 55): x0 = 10,
// y0 = 10, xR = 690; with the recorder's 13-pixel text the rows are at 10, 23
// and 36.
const Rect kPanel = GetPanelRect(Rect{0, 0, 700, 400});

class PanelTest : public DisplayTest {
 protected:
  RecordingCanvas recorder;

  std::vector<std::string> Paint() {
    recorder.Clear();
    PaintResultsPanel(recorder.canvas(), kPanel);
    return Describe(recorder.operations);
  }

  // Entries 0..count-1 get increasing (or decreasing) distinct rates, the
  // write and copy rates offset from the read rate so the three maxima are
  // told apart.
  static void FillRamp(bool increasing) {
    const uint32_t count = BlockCount();
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t r = increasing ? 100000 + i : 200000 - i;
      SetEntry(i, r, r + 1000000, r + 2000000);
    }
  }
  // The entry index whose ramp value a figure holds.
  static int64_t RampIndex(uint64_t readFigure, bool increasing) {
    return increasing ? static_cast<int64_t>(readFigure) - 100000 : 200000 - static_cast<int64_t>(readFigure);
  }
};

std::vector<std::string> ExpectedEmptyPanel(const char* placeholder) {
  const std::string white = "text colour rgb(255,255,255)";
  const std::string zero = "'0.000 GiB/s'";
  return {
      "font 101",
      "clip 5 5 695 55",
      "fill 5 5 695 55 rgb(0,0,0)",
      "edge 5 5 695 55",
      white, "text 10 10 'L1 Cache Lesen: '",
      "text colour rgb(255,200,0)", "text 120 10 " + zero,
      white, "text 10 23 'L1 Cache Schreiben: '",
      "text colour rgb(255,0,0)", "text 120 23 " + zero,
      white, "text 10 36 'L1 Cache Kopieren: '",
      "text colour rgb(0,200,255)", "text 120 36 " + zero,
      white, "text 190 10 'L2 Cache Lesen: '",
      "text colour rgb(255,200,0)", "text 300 10 " + zero,
      white, "text 190 23 'L2 Cache Schreiben: '",
      "text colour rgb(255,0,0)", "text 300 23 " + zero,
      white, "text 190 36 'L2 Cache Kopieren: '",
      "text colour rgb(0,200,255)", "text 300 36 " + zero,
      white, "text 370 10 'Speicher Lesen: '",
      "text colour rgb(255,255,0)", std::string("text 480 10 '") + placeholder + "'",
      white, "text 370 23 'Speicher Schreiben: '",
      "text colour rgb(255,255,0)", std::string("text 480 23 '") + placeholder + "'",
      white, "text 370 36 'Speicher Kopieren: '",
      "text colour rgb(255,255,0)", std::string("text 480 36 '") + placeholder + "'",
      // 23 characters of 6 pixels right-aligned to 690; the version 15 below.
      white, "text 552 10 'Taktfrequenz: 0.000 MHz'",
      "text colour rgb(128,128,128)", "text 570 25 'Version: 2.0 Alpha 4'",
  };
}

TEST_F(PanelTest, EmptyStateDrawsEveryTextInOrderAndBlinksThePlaceholder) {
  ASSERT_FALSE(measurementState.blinkPhase);
  EXPECT_EQ(Paint(), ExpectedEmptyPanel(" "));
  EXPECT_TRUE(measurementState.blinkPhase);
  EXPECT_EQ(Paint(), ExpectedEmptyPanel("?"));
  EXPECT_FALSE(measurementState.blinkPhase);
  EXPECT_EQ(Paint(), ExpectedEmptyPanel(" "));

  // Every text in the panel font, under the panel's clip.
  for (const RecordedOperation& text : recorder.Texts()) {
    EXPECT_EQ(text.state.font, kPanelFont) << Narrow(text.text);
    EXPECT_EQ(DescribeRect(text.state.clip), DescribeRect(kPanel)) << Narrow(text.text);
  }
}

TEST_F(PanelTest, RowsFollowTheMeasuredLabelHeightButTheVersionLineDoesNot) {
  recorder.SetFontMetrics(kPanelFont, 7, 20);
  recorder.SetTextExtent(L"Taktfrequenz: 2394.123 MHz", TextSize{200, 20});
  measurementState.clockHz = 2394123456u;
  Paint();

  const RecordedOperation* copyLabel = recorder.FindText(L"L2 Cache Kopieren: ");
  ASSERT_NE(copyLabel, nullptr);
  EXPECT_EQ(copyLabel->x, 190);
  EXPECT_EQ(copyLabel->y, 10 + 2 * 20);
  const RecordedOperation* writeLabel = recorder.FindText(L"Speicher Schreiben: ");
  ASSERT_NE(writeLabel, nullptr);
  EXPECT_EQ(writeLabel->y, 10 + 20);

  // Right-aligned by the measured width of each text, not by its length.
  const RecordedOperation* clock = recorder.FindText(L"Taktfrequenz: 2394.123 MHz");
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->x, 690 - 200);
  EXPECT_EQ(clock->y, 10);
  EXPECT_EQ(clock->state.textColour, MakeColour(255, 255, 255));
  const RecordedOperation* version = recorder.FindText(L"Version: 2.0 Alpha 4");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->x, 690 - 20 * 7);
  EXPECT_EQ(version->y, 10 + 15);
  EXPECT_EQ(version->state.textColour, MakeColour(128, 128, 128));
}

TEST_F(PanelTest, CacheWindowsAroundHalfTheDefaultCacheSizesHaveStrictBounds) {
  // l1 64 KiB: 24 KiB < d < 40 KiB; l2 512 KiB: 248 KiB < d < 264 KiB.
  FillRamp(true);
  PanelFigures figures = ComputePanelFigures();
  EXPECT_EQ(RampIndex(figures.l1[0], true), 39);
  EXPECT_EQ(RampIndex(figures.l2[0], true), 263);
  EXPECT_EQ(figures.l1[1], figures.l1[0] + 1000000);
  EXPECT_EQ(figures.l2[2], figures.l2[0] + 2000000);

  FillRamp(false);
  figures = ComputePanelFigures();
  EXPECT_EQ(RampIndex(figures.l1[0], false), 25);
  EXPECT_EQ(RampIndex(figures.l2[0], false), 249);

  // The default 2 MiB test area ends at d = 2045 KiB: no entry lies beyond
  // 4 * l2CacheSize, so the memory figures stay empty.
  EXPECT_EQ(figures.memoryCount, 0u);
  EXPECT_EQ(figures.memory[0], 0u);
}

TEST_F(PanelTest, SmallFirstLevelCachesReachDownToTheFirstEntry) {
  // 8 KiB: h1 = 4 KiB is below the half width, so every d below 12 KiB counts.
  measurementState.l1CacheSize = 8 * KiB;
  FillRamp(false);
  EXPECT_EQ(RampIndex(ComputePanelFigures().l1[0], false), 0);
  FillRamp(true);
  EXPECT_EQ(RampIndex(ComputePanelFigures().l1[0], true), 11);

  // 16 KiB: h1 = 8 KiB, the window is 0 < d < 16 KiB and entry 0 lies outside.
  measurementState.l1CacheSize = 16 * KiB;
  FillRamp(false);
  EXPECT_EQ(RampIndex(ComputePanelFigures().l1[0], false), 1);
  FillRamp(true);
  EXPECT_EQ(RampIndex(ComputePanelFigures().l1[0], true), 15);
}

TEST_F(PanelTest, AnEntryWithAZeroRateCountsNowhere) {
  // Equal cache sizes make the two windows coincide: an entry the L1 test
  // takes is never offered to the L2 test, even when it counts for nothing.
  measurementState.l1CacheSize = measurementState.l2CacheSize = 64 * KiB;
  SetEntry(31, 5 * GiB, 6 * GiB, 0);  // copy not measured yet
  SetEntry(33, 2 * GiB, 3 * GiB, 4 * GiB);
  PanelFigures figures = ComputePanelFigures();
  EXPECT_EQ(figures.l1[0], 2 * GiB);
  EXPECT_EQ(figures.l1[1], 3 * GiB);
  EXPECT_EQ(figures.l1[2], 4 * GiB);
  EXPECT_EQ(figures.l2[0], 0u);
  EXPECT_EQ(figures.l2[1], 0u);

  // An L1 window around 2 MiB overlaps the memory region (d > 2 MiB): its
  // entries count for L1 only, and an unmeasured one for nothing at all.
  UseSettings(8 * MiB, 1024);
  measurementState.l1CacheSize = 4 * MiB;
  measurementState.l2CacheSize = 512 * KiB;
  SetEntry(2049, 3 * GiB, 3 * GiB, 0);         // in both, copy unmeasured
  SetEntry(2050, 2 * GiB, 2 * GiB, 2 * GiB);   // in both, measured
  SetEntry(6000, 1 * GiB, 1 * GiB, 1 * GiB);   // memory only
  figures = ComputePanelFigures();
  EXPECT_EQ(figures.l1[0], 2 * GiB);
  EXPECT_EQ(figures.memoryCount, 1u);
  EXPECT_EQ(figures.memory[0], 1 * GiB);
}

TEST_F(PanelTest, MemoryFiguresAreTruncatingMeansShownInYellow) {
  // l2 256 KiB puts the memory region at d > 1 MiB, inside the 2 MiB area.
  measurementState.l2CacheSize = 256 * KiB;
  SetEntry(1500, 1 * GiB, 3, 1000);
  SetEntry(1800, 2 * GiB, 4, 1001);
  const PanelFigures figures = ComputePanelFigures();
  EXPECT_EQ(figures.memoryCount, 2u);
  EXPECT_EQ(figures.memory[0], 3 * GiB / 2);
  EXPECT_EQ(figures.memory[1], 3u);
  EXPECT_EQ(figures.memory[2], 1000u);

  Paint();
  const RecordedOperation* read = recorder.FindText(L"1.512 GiB/s");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->x, 480);
  EXPECT_EQ(read->y, 10);
  EXPECT_EQ(read->state.textColour, MakeColour(255, 255, 0));
  // Small but nonzero means are figures, not placeholders; the phase still
  // turns at every paint.
  const std::vector<std::wstring> texts = recorder.TextStrings();
  EXPECT_EQ(std::count(texts.begin(), texts.end(), L"0.000 GiB/s"), 6 + 2);
  EXPECT_TRUE(measurementState.blinkPhase);
  Paint();
  EXPECT_FALSE(measurementState.blinkPhase);
  EXPECT_EQ(recorder.FindText(L"?"), nullptr);
}

TEST_F(PanelTest, LargestTestAreaHasAMemoryRegionFromTwoMebibytesOn) {
  // 8 MiB, 1 KiB step, l2 512 KiB: d from 2 MiB + 1 KiB to 8 MiB - 3 KiB.
  UseSettings(8 * MiB, 1024);
  const uint32_t count = BlockCount();
  ASSERT_EQ(count, 8190u);
  for (uint32_t i = 0; i < count; ++i) SetEntry(i, GiB, GiB, GiB);
  SetEntry(2048, 900 * GiB, 900 * GiB, 900 * GiB);  // d = 2 MiB exactly: outside
  const PanelFigures figures = ComputePanelFigures();
  EXPECT_EQ(figures.memoryCount, 8189u - 2049u + 1u);
  EXPECT_EQ(figures.memory[0], GiB);
}

TEST_F(PanelTest, MissingResultArraysShowEmptyFigures) {
  FreeArrays();
  const PanelFigures figures = ComputePanelFigures();
  EXPECT_EQ(figures.l1[0], 0u);
  EXPECT_EQ(figures.memoryCount, 0u);
  EXPECT_EQ(Paint(), ExpectedEmptyPanel(" "));
}

TEST_F(PanelTest, AnEmptyOrInvertedRectangleDrawsNothing) {
  for (const Rect& rect : {Rect{5, 5, 5, 55}, Rect{5, 5, -3, 55}, Rect{5, 60, 695, 55}}) {
    recorder.Clear();
    PaintResultsPanel(recorder.canvas(), rect);
    EXPECT_TRUE(recorder.operations.empty()) << DescribeRect(rect);
    EXPECT_FALSE(measurementState.blinkPhase);
  }
}

}  // namespace

TEST_F(PanelTest, ClientAreaErasesAroundBothAreasThenPaintsTheChartBeforeThePanel) {
  EraseClientBackground(recorder.canvas(), Rect{0, 0, 700, 400});
  EXPECT_EQ(Describe(recorder.operations),
            (std::vector<std::string>{"exclude 5 60 695 395", "exclude 5 5 695 55", "background 0 0 700 400"}));
  recorder.Clear();
  PaintClientArea(recorder.canvas(), Rect{0, 0, 700, 400});
  const std::vector<RecordedOperation> clips = recorder.OfKind(CanvasOp::ClipToRect);
  ASSERT_FALSE(clips.empty());
  EXPECT_EQ(DescribeRect(clips.front().rect), "5 60 695 395");
  EXPECT_EQ(DescribeRect(clips.back().rect), "5 5 695 55");
}
