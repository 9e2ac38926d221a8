// The Cairo backend, checked on the pixels it leaves in an image.
#include "platform/cairo/cairo_canvas.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "measure/state.h"
#include "tests/support/canvas_conventions.h"

namespace {

using namespace canvas_conventions;
constexpr Colour kWhite = MakeColour(255, 255, 255);

Colour PixelAt(cairo_surface_t* image, int x, int y) {
  const uint8_t* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  const uint32_t value = reinterpret_cast<const uint32_t*>(row)[x];
  return MakeColour((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

void PaintBackground(cairo_t* cr) {
  cairo_set_source_rgb(cr, 1 / 255.0, 2 / 255.0, 3 / 255.0);
  cairo_paint(cr);
}

// An RGB24 image filled with the background, and a canvas begun on it; the
// first pixel read ends the canvas.
struct CairoTarget {
  CairoTarget()
      : image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight)), cr(cairo_create(image)) {
    PaintBackground(cr);
    canvas = BeginCairoCanvas(cr);
  }
  ~CairoTarget() {
    Finish();
    cairo_destroy(cr);
    cairo_surface_destroy(image);
  }
  void Finish() {
    EndCairoCanvas(canvas);
    cairo_surface_flush(image);
  }
  Colour At(int x, int y) {
    Finish();
    return PixelAt(image, x, y);
  }
  cairo_surface_t* image;
  cairo_t* cr;
  Canvas canvas = {};
  Colour shadow = kButtonShadowColour, highlight = kButtonHighlightColour, darkShadow = kDarkShadowColour,
         light = kLightColour;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Cairo, CanvasConventions, ::testing::Types<CairoTarget>);

class CairoCanvasTest : public CanvasConventions<CairoTarget> {
 protected:
  // Bounding box of everything above row rowEnd that is no longer the background.
  Rect Drawn(int rowEnd = kHeight) {
    Rect box = {kWidth, kHeight, 0, 0};
    for (int y = 0; y < rowEnd; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (target.At(x, y) != kBackground)
          box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
    return box;
  }
  Colour At(int x, int y) { return target.At(x, y); }
};

TEST_F(CairoCanvasTest, EmptyAndInvertedRectanglesFillAndClipNothing) {
  c.SelectSolidPen(c.context, kPen);
  c.FillRect(c.context, Rect{20, 20, 20, 30}, kPen);  // empty
  c.FillRect(c.context, Rect{30, 30, 25, 35}, kPen);  // inverted
  c.ClipToRect(c.context, Rect{50, 5, 45, 9});        // inverted: nothing visible
  c.FillRect(c.context, Rect{0, 0, kWidth, kHeight}, kBlue);
  Line(40, 10, 40, 20);
  c.ClipToRect(c.context, Rect{0, 0, kWidth, kHeight});
  Line(30, 30, 30, 30);  // to itself: nothing
  EXPECT_EQ(PixelsOf(kBackground).size(), size_t{kWidth * kHeight});
}

TEST_F(CairoCanvasTest, SlantedLinesLeaveOutTheirLastPixelAndAreNeverAntialiased) {
  // One pixel per step along the longer axis, the end left out, and nothing
  // but the pen's exact colour on the background.
  c.SelectSolidPen(c.context, kPen);
  Line(40, 10, 49, 13);  // 9 columns 40..48
  Line(40, 20, 37, 40);  // 20 rows 20..39
  const Pixels drawn = PixelsOf(kPen);
  EXPECT_EQ(PixelsOf(kBackground).size() + drawn.size(), size_t{kWidth * kHeight});
  EXPECT_EQ(drawn.size(), 9u + 20u);
  std::set<int> columns, rows;
  for (const auto& [x, y] : drawn) y < 20 ? columns.insert(x) : rows.insert(y);
  EXPECT_EQ(columns, (std::set<int>{40, 41, 42, 43, 44, 45, 46, 47, 48}));
  EXPECT_EQ(rows.size(), 20u);
  EXPECT_EQ(*rows.begin(), 20);
  EXPECT_TRUE(drawn.count({40, 10}) && drawn.count({40, 20}));
}

TEST_F(CairoCanvasTest, LinesFromFarOutsideAreClippedNotWalked) {
  c.ClipToRect(c.context, Rect{4, 4, 60, 44});
  c.SelectSolidPen(c.context, kPen);
  Line(-(1 << 27), 10, 1 << 27, 10);
  Line(30 - (1 << 26), -(1 << 27), 30 + (1 << 26), 1 << 27);  // steep, through every row
  for (int x = 4; x < 60; ++x) EXPECT_EQ(At(x, 10), kPen) << x;
  for (int y = 4; y < 44; ++y) {
    int count = 0;
    for (int x = 0; x < kWidth; ++x) count += At(x, y) == kPen;
    EXPECT_EQ(count, y == 10 ? 56 : 1) << "row " << y;
  }
  for (const auto& [x, y] : PixelsOf(kPen)) EXPECT_TRUE(x >= 4 && x < 60 && y >= 4 && y < 44) << x << "," << y;
}

TEST_F(CairoCanvasTest, DottedPatternStartsAtTheStartOfABackwardsLine) {
  c.SelectDottedPen(c.context, kPen);
  Line(30, 12, 8, 12);  // the pattern starts at x = 30
  for (int x = 9; x <= 30; ++x) EXPECT_EQ(At(x, 12), (30 - x) % 6 < 3 ? kPen : kBackground) << x;
  EXPECT_EQ(At(8, 12), kBackground);
}

// Lines on a target that is not an image go through Cairo's paths and come
// out pixel for pixel as they do written straight into an image.
TEST_F(CairoCanvasTest, LinesOnOtherTargetsMatchTheImagePixels) {
  auto drawScene = [](cairo_t* cr) {
    Canvas canvas = BeginCairoCanvas(cr);
    canvas.ClipToRect(canvas.context, Rect{2, 3, 60, 45});
    canvas.SelectSolidPen(canvas.context, kPen);
    canvas.MoveTo(canvas.context, 0, 0);
    for (int i = 1; i < 40; ++i) canvas.LineTo(canvas.context, (i * 37) % 70 - 3, (i * 23) % 52 - 2);
    canvas.SelectDottedPen(canvas.context, MakeColour(255, 0, 0));
    canvas.MoveTo(canvas.context, 33, -100);
    canvas.LineTo(canvas.context, 33, 100);
    canvas.MoveTo(canvas.context, 1, 1);
    canvas.LineTo(canvas.context, 50, 40);
    EndCairoCanvas(canvas);
  };
  target.Finish();
  drawScene(target.cr);
  cairo_surface_flush(target.image);

  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
  cairo_t* recorder = cairo_create(recording);
  drawScene(recorder);
  cairo_destroy(recorder);
  cairo_surface_t* replayed = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* replay = cairo_create(replayed);
  PaintBackground(replay);
  cairo_set_source_surface(replay, recording, 0, 0);
  cairo_paint(replay);
  cairo_destroy(replay);
  cairo_surface_flush(replayed);

  int differences = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) differences += At(x, y) != PixelAt(replayed, x, y);
  EXPECT_GT(kWidth * kHeight - PixelsOf(kBackground).size(), 300u);
  EXPECT_EQ(differences, 0);
  cairo_surface_destroy(replayed);
  cairo_surface_destroy(recording);
}

class CairoTextTest : public CairoCanvasTest {
 protected:
  static void SetUpTestSuite() { CreateDisplayFonts(96); }
  static void TearDownTestSuite() { DestroyDisplayFonts(); }
};

TEST_F(CairoTextTest, TextStaysInsideItsMeasuredCell) {
  // The Windows fonts, or their free metric twins where they are installed.
  if (access("/usr/share/wine/fonts/tahoma.ttf", R_OK) == 0) {
    EXPECT_EQ(CairoFontFamily(measurementState.panelFont), "Tahoma");
  }
  if (access("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", R_OK) == 0) {
    EXPECT_EQ(CairoFontFamily(measurementState.axisFont), "Liberation Sans");
  }
  c.SelectFont(c.context, measurementState.panelFont);
  const TextSize one = c.MeasureText(c.context, L"W", 1);
  const TextSize label = c.MeasureText(c.context, L"L1 Cache", 8);
  // An 8-point font at 96 DPI: an 11-pixel em in a cell of 12 to 15 pixels.
  EXPECT_GE(label.cy, 12);
  EXPECT_LE(label.cy, 15);
  EXPECT_EQ(one.cy, label.cy);
  EXPECT_GT(label.cx, 4 * one.cx);
  EXPECT_EQ(c.MeasureText(c.context, L"L1 Cache Lesen", 8).cx, label.cx);  // only length characters
  // A fresh canvas is opaque: the cell is filled with white first.
  const TextSize ab = c.MeasureText(c.context, L"ab", 2);
  c.DrawString(c.context, 40, 30, L"ab", 2);
  c.SetTransparentText(c.context);
  c.SetTextColour(c.context, kWhite);
  c.DrawString(c.context, 6, 9, L"L1 Cache", 8);
  EXPECT_EQ(At(40, 30), kOpaqueTextBackground);
  EXPECT_EQ(At(40 + ab.cx - 1, 30 + ab.cy - 1), kOpaqueTextBackground);
  EXPECT_EQ(At(40 + ab.cx, 30), kBackground);
  // The transparent label: glyph pixels only, all inside x..x+cx, y..y+cy.
  const Rect box = Drawn(28);
  EXPECT_GE(box.left, 6);
  EXPECT_GE(box.top, 9);
  EXPECT_LE(box.right, 6 + label.cx);
  EXPECT_LE(box.bottom, 9 + label.cy);
  EXPECT_GT(box.right - box.left, label.cx / 2);
  EXPECT_EQ(At(6, 9), kBackground);
}

TEST_F(CairoTextTest, TheTurnedFontRunsUpwardsInATallNarrowStrip) {
  c.SetTransparentText(c.context);
  c.SetTextColour(c.context, kWhite);
  c.SelectFont(c.context, measurementState.axisFont);
  const TextSize size = c.MeasureText(c.context, L"Rate", 4);
  ASSERT_GT(size.cx, size.cy);
  ASSERT_LT(size.cx, 44);
  c.DrawString(c.context, 10, 46, L"Rate", 4);
  const Rect box = Drawn();
  EXPECT_GE(box.left, 10);
  EXPECT_LE(box.right, 10 + size.cy);
  EXPECT_LE(box.bottom, 46);
  EXPECT_GE(box.top, 46 - size.cx);
  EXPECT_GT(box.bottom - box.top, 2 * (box.right - box.left));
}

}  // namespace
