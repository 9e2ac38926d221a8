// The Cairo backend, checked on the pixels it leaves in an image.
#include "platform/cairo/cairo_canvas.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <utility>

#include "measure/state.h"

namespace {

constexpr Colour kMarker = MakeColour(1, 2, 3);  // what the image holds before drawing
constexpr Colour kPen = MakeColour(10, 200, 30);
constexpr Colour kWhite = MakeColour(255, 255, 255);
using Pixels = std::set<std::pair<int, int>>;

Colour PixelAt(cairo_surface_t* image, int x, int y) {
  const uint8_t* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  const uint32_t value = reinterpret_cast<const uint32_t*>(row)[x];
  return MakeColour((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

// The pixels of the rectangle x0..x1, y0..y1 (inclusive), added to pixels.
Pixels Span(int x0, int y0, int x1, int y1, Pixels pixels = {}) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) pixels.insert({x, y});
  return pixels;
}

// A 64 x 48 RGB24 image filled with the marker, and a canvas begun on it.
class CairoCanvasTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 48;

  void SetUp() override {
    image_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cr_ = cairo_create(image_);
    cairo_set_source_rgb(cr_, 1 / 255.0, 2 / 255.0, 3 / 255.0);
    cairo_paint(cr_);
    c_ = BeginCairoCanvas(cr_);
  }
  void TearDown() override {
    Finish();
    cairo_destroy(cr_);
    cairo_surface_destroy(image_);
  }
  void Finish() {
    if (c_.context != nullptr) EndCairoCanvas(c_);
    cairo_surface_flush(image_);
  }
  void Line(int x0, int y0, int x1, int y1) {
    c_.MoveTo(c_.context, x0, y0);
    c_.LineTo(c_.context, x1, y1);
  }

  Colour At(int x, int y) const { return PixelAt(image_, x, y); }
  Pixels PixelsOf(Colour colour) const {
    Pixels found;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (At(x, y) == colour) found.insert({x, y});
    return found;
  }
  // Bounding box of everything above row rowEnd that is no longer the marker.
  Rect Drawn(int rowEnd = kHeight) const {
    Rect box = {kWidth, kHeight, 0, 0};
    for (int y = 0; y < rowEnd; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (At(x, y) != kMarker) box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                                        std::max(box.bottom, y + 1)};
    return box;
  }

  cairo_surface_t* image_ = nullptr;
  cairo_t* cr_ = nullptr;
  Canvas c_ = {};
};

TEST_F(CairoCanvasTest, FillRectCoversExactlyItsPixelsWithinTheClip) {
  c_.FillRect(c_.context, Rect{3, 4, 7, 6}, kPen);
  c_.FillRect(c_.context, Rect{20, 20, 20, 30}, kPen);  // empty
  c_.FillRect(c_.context, Rect{30, 30, 25, 35}, kPen);  // inverted
  const Colour blue = MakeColour(0, 0, 255);
  c_.ClipToRect(c_.context, Rect{10, 10, 13, 12});
  c_.FillRect(c_.context, Rect{0, 0, kWidth, kHeight}, blue);
  c_.ClipToRect(c_.context, Rect{40, 40, 41, 41});  // replaces the clip, does not narrow it
  c_.FillRect(c_.context, Rect{0, 0, kWidth, kHeight}, blue);
  c_.ClipToRect(c_.context, Rect{50, 5, 45, 9});  // inverted: nothing visible
  c_.FillRect(c_.context, Rect{0, 0, kWidth, kHeight}, blue);
  Finish();
  EXPECT_EQ(PixelsOf(kPen), Span(3, 4, 6, 5));
  EXPECT_EQ(PixelsOf(blue), Span(40, 40, 40, 40, Span(10, 10, 12, 11)));
}

TEST_F(CairoCanvasTest, LinesLeaveOutTheirLastPixelAndAreNeverAntialiased) {
  c_.SelectSolidPen(c_.context, kPen);
  Line(2, 5, 10, 5);   // right: 2..9
  Line(10, 7, 2, 7);   // left: 3..10
  Line(20, 2, 20, 9);  // down: 2..8
  Line(22, 9, 22, 2);  // up: 3..9
  Line(30, 30, 30, 30);  // to itself: nothing
  Finish();
  EXPECT_EQ(PixelsOf(kPen), Span(22, 3, 22, 9, Span(20, 2, 20, 8, Span(3, 7, 10, 7, Span(2, 5, 9, 5)))));

  // Slanted: one pixel per step along the longer axis, the end left out, and
  // nothing but the pen's exact colour on the marker.
  cairo_set_source_rgb(cr_, 1 / 255.0, 2 / 255.0, 3 / 255.0);
  cairo_paint(cr_);
  c_ = BeginCairoCanvas(cr_);
  c_.SelectSolidPen(c_.context, kPen);
  Line(40, 10, 49, 13);  // 9 columns 40..48
  Line(40, 20, 37, 40);  // 20 rows 20..39
  Finish();
  const Pixels drawn = PixelsOf(kPen);
  EXPECT_EQ(PixelsOf(kMarker).size() + drawn.size(), size_t{kWidth * kHeight});
  EXPECT_EQ(drawn.size(), 9u + 20u);
  std::set<int> columns, rows;
  for (const auto& [x, y] : drawn) y < 20 ? columns.insert(x) : rows.insert(y);
  EXPECT_EQ(columns, (std::set<int>{40, 41, 42, 43, 44, 45, 46, 47, 48}));
  EXPECT_EQ(rows.size(), 20u);
  EXPECT_EQ(*rows.begin(), 20);
  EXPECT_TRUE(drawn.count({40, 10}) && drawn.count({40, 20}));
}

TEST_F(CairoCanvasTest, LinesFromFarOutsideAreClippedNotWalked) {
  c_.ClipToRect(c_.context, Rect{4, 4, 60, 44});
  c_.SelectSolidPen(c_.context, kPen);
  Line(-(1 << 27), 10, 1 << 27, 10);
  Line(30 - (1 << 26), -(1 << 27), 30 + (1 << 26), 1 << 27);  // steep, through every row
  Finish();
  for (int x = 4; x < 60; ++x) EXPECT_EQ(At(x, 10), kPen) << x;
  for (int y = 4; y < 44; ++y) {
    int count = 0;
    for (int x = 0; x < kWidth; ++x) count += At(x, y) == kPen;
    EXPECT_EQ(count, y == 10 ? 56 : 1) << "row " << y;
  }
  for (const auto& [x, y] : PixelsOf(kPen)) EXPECT_TRUE(x >= 4 && x < 60 && y >= 4 && y < 44) << x << "," << y;
}

TEST_F(CairoCanvasTest, DottedPenDrawsThreeAndSkipsThreeFromEachLinesStart) {
  c_.SelectDottedPen(c_.context, kPen);
  Line(5, 0, 5, 20);
  Line(30, 12, 8, 12);  // backwards: the pattern starts at x = 30
  c_.SelectSolidPen(c_.context, MakeColour(0, 0, 255));
  Line(40, 0, 40, 10);  // solid again
  Finish();
  for (int y = 0; y < 20; ++y) EXPECT_EQ(At(5, y), y % 6 < 3 ? kPen : kMarker) << y;  // gaps keep the marker
  for (int x = 9; x <= 30; ++x) EXPECT_EQ(At(x, 12), (30 - x) % 6 < 3 ? kPen : kMarker) << x;
  EXPECT_EQ(PixelsOf(MakeColour(0, 0, 255)), Span(40, 0, 40, 9));
}

TEST_F(CairoCanvasTest, SunkenEdgeHasTheButtonShadesOnItsFourSides) {
  c_.DrawSunkenEdge(c_.context, Rect{10, 10, 30, 25});
  Finish();
  const struct {
    int x, y;
    Colour colour;
  } expected[] = {
      // Outer ring; the top-right and bottom-left corners take the bottom/right colour.
      {20, 10, kButtonShadowColour}, {10, 17, kButtonShadowColour}, {10, 10, kButtonShadowColour},
      {20, 24, kButtonHighlightColour}, {29, 17, kButtonHighlightColour}, {29, 10, kButtonHighlightColour},
      {10, 24, kButtonHighlightColour},
      // Inner ring.
      {20, 11, kDarkShadowColour}, {11, 17, kDarkShadowColour}, {20, 23, kLightColour}, {28, 17, kLightColour},
      {28, 11, kLightColour},
      // Inside and outside untouched.
      {12, 12, kMarker}, {27, 22, kMarker}, {9, 17, kMarker}, {30, 17, kMarker}, {20, 25, kMarker}};
  for (const auto& e : expected) EXPECT_EQ(At(e.x, e.y), e.colour) << e.x << "," << e.y;
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
  Finish();
  drawScene(cr_);
  cairo_surface_flush(image_);

  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
  cairo_t* recorder = cairo_create(recording);
  drawScene(recorder);
  cairo_destroy(recorder);
  cairo_surface_t* replayed = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* replay = cairo_create(replayed);
  cairo_set_source_rgb(replay, 1 / 255.0, 2 / 255.0, 3 / 255.0);
  cairo_paint(replay);
  cairo_set_source_surface(replay, recording, 0, 0);
  cairo_paint(replay);
  cairo_destroy(replay);
  cairo_surface_flush(replayed);

  int differences = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) differences += At(x, y) != PixelAt(replayed, x, y);
  EXPECT_GT(kWidth * kHeight - PixelsOf(kMarker).size(), 300u);
  EXPECT_EQ(differences, 0);
  cairo_surface_destroy(replayed);
  cairo_surface_destroy(recording);
}

class CairoTextTest : public CairoCanvasTest {
 protected:
  void SetUp() override {
    CreateDisplayFonts(96);
    CairoCanvasTest::SetUp();
  }
  void TearDown() override {
    CairoCanvasTest::TearDown();
    DestroyDisplayFonts();
  }
};

TEST_F(CairoTextTest, TextStaysInsideItsMeasuredCell) {
  // The Windows fonts, or their free metric twins where they are installed.
  if (access("/usr/share/wine/fonts/tahoma.ttf", R_OK) == 0) {
    EXPECT_EQ(CairoFontFamily(measurementState.panelFont), "Tahoma");
  }
  if (access("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", R_OK) == 0) {
    EXPECT_EQ(CairoFontFamily(measurementState.axisFont), "Liberation Sans");
  }
  c_.SelectFont(c_.context, measurementState.panelFont);
  const TextSize one = c_.MeasureText(c_.context, L"W", 1);
  const TextSize label = c_.MeasureText(c_.context, L"L1 Cache", 8);
  // An 8-point font at 96 DPI: an 11-pixel em in a cell of 12 to 15 pixels.
  EXPECT_GE(label.cy, 12);
  EXPECT_LE(label.cy, 15);
  EXPECT_EQ(one.cy, label.cy);
  EXPECT_GT(label.cx, 4 * one.cx);
  EXPECT_EQ(c_.MeasureText(c_.context, L"L1 Cache Lesen", 8).cx, label.cx);  // only length characters
  // A fresh canvas is opaque: the cell is filled with white first.
  const TextSize ab = c_.MeasureText(c_.context, L"ab", 2);
  c_.DrawString(c_.context, 40, 30, L"ab", 2);
  c_.SetTransparentText(c_.context);
  c_.SetTextColour(c_.context, kWhite);
  c_.DrawString(c_.context, 6, 9, L"L1 Cache", 8);
  Finish();
  EXPECT_EQ(At(40, 30), kOpaqueTextBackground);
  EXPECT_EQ(At(40 + ab.cx - 1, 30 + ab.cy - 1), kOpaqueTextBackground);
  EXPECT_EQ(At(40 + ab.cx, 30), kMarker);
  // The transparent label: glyph pixels only, all inside x..x+cx, y..y+cy.
  const Rect box = Drawn(28);
  EXPECT_GE(box.left, 6);
  EXPECT_GE(box.top, 9);
  EXPECT_LE(box.right, 6 + label.cx);
  EXPECT_LE(box.bottom, 9 + label.cy);
  EXPECT_GT(box.right - box.left, label.cx / 2);
  EXPECT_EQ(At(6, 9), kMarker);
}

TEST_F(CairoTextTest, TheTurnedFontRunsUpwardsInATallNarrowStrip) {
  c_.SetTransparentText(c_.context);
  c_.SetTextColour(c_.context, kWhite);
  c_.SelectFont(c_.context, measurementState.axisFont);
  const TextSize size = c_.MeasureText(c_.context, L"Rate", 4);
  ASSERT_GT(size.cx, size.cy);
  ASSERT_LT(size.cx, 44);
  c_.DrawString(c_.context, 10, 46, L"Rate", 4);
  Finish();
  const Rect box = Drawn();
  EXPECT_GE(box.left, 10);
  EXPECT_LE(box.right, 10 + size.cy);
  EXPECT_LE(box.bottom, 46);
  EXPECT_GE(box.top, 46 - size.cx);
  EXPECT_GT(box.bottom - box.top, 2 * (box.right - box.left));
}

}  // namespace
