// The Cairo backend, checked on the pixels it leaves in an image.
#include "platform/cairo/cairo_canvas.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "display/layout.h"
#include "measure/state.h"

namespace {

constexpr Colour kMarker = MakeColour(1, 2, 3);  // what the image holds before drawing
constexpr Colour kPen = MakeColour(10, 200, 30);

// A small RGB24 image filled with the marker, and a canvas on it.
class CairoCanvasTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64, kHeight = 48;

  void SetUp() override {
    image_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cr_ = cairo_create(image_);
    cairo_set_source_rgb(cr_, 1 / 255.0, 2 / 255.0, 3 / 255.0);
    cairo_paint(cr_);
  }
  void TearDown() override {
    cairo_destroy(cr_);
    cairo_surface_destroy(image_);
  }

  Canvas Begin() { return BeginCairoCanvas(cr_); }
  void End(Canvas& canvas) {
    EndCairoCanvas(canvas);
    cairo_surface_flush(image_);
  }

  // The colour of pixel (x, y) as a COLORREF.
  Colour At(int x, int y) const { return PixelAt(image_, x, y); }
  static Colour PixelAt(cairo_surface_t* image, int x, int y) {
    const uint8_t* row = cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
    const uint32_t value = reinterpret_cast<const uint32_t*>(row)[x];
    return MakeColour((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
  }

  // The pixels in colour, as "x,y" strings in row order.
  std::set<std::pair<int, int>> PixelsOf(Colour colour) const {
    std::set<std::pair<int, int>> found;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (At(x, y) == colour) found.insert({x, y});
    return found;
  }
  std::set<Colour> Colours() const {
    std::set<Colour> found;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) found.insert(At(x, y));
    return found;
  }

  cairo_surface_t* image_ = nullptr;
  cairo_t* cr_ = nullptr;
};

using Pixels = std::set<std::pair<int, int>>;

Pixels Row(int y, int from, int to) {  // from..to inclusive
  Pixels pixels;
  for (int x = from; x <= to; ++x) pixels.insert({x, y});
  return pixels;
}
Pixels Column(int x, int from, int to) {
  Pixels pixels;
  for (int y = from; y <= to; ++y) pixels.insert({x, y});
  return pixels;
}

TEST_F(CairoCanvasTest, FillRectCoversExactlyItsPixelsAndTheClipLimitsIt) {
  Canvas canvas = Begin();
  canvas.FillRect(canvas.context, Rect{3, 4, 7, 6}, kPen);  // 4 x 2 pixels
  canvas.FillRect(canvas.context, Rect{20, 20, 20, 30}, kPen);  // empty
  canvas.FillRect(canvas.context, Rect{30, 30, 25, 35}, kPen);  // inverted
  End(canvas);
  Pixels expected = Row(4, 3, 6);
  for (const auto& p : Row(5, 3, 6)) expected.insert(p);
  EXPECT_EQ(PixelsOf(kPen), expected);

  canvas = Begin();
  canvas.ClipToRect(canvas.context, Rect{10, 10, 13, 12});
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, MakeColour(0, 0, 255));
  // A new clip replaces the old one, it does not narrow it.
  canvas.ClipToRect(canvas.context, Rect{40, 40, 41, 41});
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, MakeColour(0, 0, 255));
  // An inverted clip leaves nothing visible.
  canvas.ClipToRect(canvas.context, Rect{50, 5, 45, 9});
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, MakeColour(0, 0, 255));
  End(canvas);
  expected = Row(10, 10, 12);
  for (const auto& p : Row(11, 10, 12)) expected.insert(p);
  expected.insert({40, 40});
  EXPECT_EQ(PixelsOf(MakeColour(0, 0, 255)), expected);
}

TEST_F(CairoCanvasTest, LinesLeaveOutTheirLastPixelAndAreNeverAntialiased) {
  Canvas canvas = Begin();
  canvas.SelectSolidPen(canvas.context, kPen);
  canvas.MoveTo(canvas.context, 2, 5);
  canvas.LineTo(canvas.context, 10, 5);  // right: 2..9
  canvas.MoveTo(canvas.context, 10, 7);
  canvas.LineTo(canvas.context, 2, 7);  // left: 3..10
  canvas.MoveTo(canvas.context, 20, 2);
  canvas.LineTo(canvas.context, 20, 9);  // down: 2..8
  canvas.MoveTo(canvas.context, 22, 9);
  canvas.LineTo(canvas.context, 22, 2);  // up: 3..9
  canvas.MoveTo(canvas.context, 30, 30);
  canvas.LineTo(canvas.context, 30, 30);  // to itself: nothing
  End(canvas);
  Pixels expected = Row(5, 2, 9);
  for (const Pixels& part : {Row(7, 3, 10), Column(20, 2, 8), Column(22, 3, 9)}) expected.insert(part.begin(), part.end());
  EXPECT_EQ(PixelsOf(kPen), expected);

  // A slanted line: one pixel per step along the longer axis, the end left
  // out, and still only the pen's exact colour on the marker.
  canvas = Begin();
  canvas.SelectSolidPen(canvas.context, kPen);
  canvas.MoveTo(canvas.context, 40, 10);
  canvas.LineTo(canvas.context, 49, 13);
  canvas.MoveTo(canvas.context, 40, 20);
  canvas.LineTo(canvas.context, 37, 40);
  End(canvas);
  EXPECT_EQ(Colours(), (std::set<Colour>{kMarker, kPen}));
  for (int x = 40; x <= 48; ++x) {
    int count = 0;
    for (int y = 9; y <= 14; ++y) count += At(x, y) == kPen;
    EXPECT_EQ(count, 1) << "column " << x;
  }
  EXPECT_EQ(At(40, 10), kPen);
  EXPECT_NE(At(49, 13), kPen);
  for (int y = 20; y <= 39; ++y) {
    int count = 0;
    for (int x = 36; x <= 41; ++x) count += At(x, y) == kPen;
    EXPECT_EQ(count, 1) << "row " << y;
  }
  EXPECT_NE(At(37, 40), kPen);
}

TEST_F(CairoCanvasTest, LinesFromFarOutsideAreClippedNotWalked) {
  Canvas canvas = Begin();
  canvas.ClipToRect(canvas.context, Rect{4, 4, 60, 44});
  canvas.SelectSolidPen(canvas.context, kPen);
  canvas.MoveTo(canvas.context, -(1 << 27), 10);
  canvas.LineTo(canvas.context, 1 << 27, 10);
  // Steep and shallow slanted lines with both ends far away.
  canvas.MoveTo(canvas.context, 30 - (1 << 26), -(1 << 27));
  canvas.LineTo(canvas.context, 30 + (1 << 26), 1 << 27);
  canvas.MoveTo(canvas.context, -(1 << 27), 30 - (1 << 20));
  canvas.LineTo(canvas.context, 1 << 27, 30 + (1 << 20));
  End(canvas);
  for (int x = 4; x < 60; ++x) EXPECT_EQ(At(x, 10), kPen) << x;
  // The steep line crosses every other row of the clip with one pixel; the
  // shallow one runs across rows 29 to 31.
  for (int y = 4; y < 44; ++y) {
    if (y == 10 || (y >= 29 && y <= 31)) continue;
    int count = 0;
    for (int x = 0; x < kWidth; ++x) count += At(x, y) == kPen;
    EXPECT_EQ(count, 1) << "row " << y;
  }
  int shallow = 0;
  for (int y = 29; y <= 31; ++y)
    for (int x = 4; x < 60; ++x) shallow += At(x, y) == kPen;
  EXPECT_GE(shallow, 56);
  // Nothing outside the clip.
  for (const auto& [x, y] : PixelsOf(kPen)) {
    EXPECT_TRUE(x >= 4 && x < 60 && y >= 4 && y < 44) << x << "," << y;
  }
}

TEST_F(CairoCanvasTest, DottedPenDrawsThreeAndSkipsThreeFromEachLinesStart) {
  Canvas canvas = Begin();
  canvas.SelectDottedPen(canvas.context, kPen);
  canvas.MoveTo(canvas.context, 5, 0);
  canvas.LineTo(canvas.context, 5, 20);
  canvas.MoveTo(canvas.context, 30, 12);
  canvas.LineTo(canvas.context, 8, 12);  // backwards: the pattern starts at x = 30
  canvas.SelectSolidPen(canvas.context, MakeColour(0, 0, 255));
  canvas.MoveTo(canvas.context, 40, 0);
  canvas.LineTo(canvas.context, 40, 10);  // solid again
  End(canvas);
  for (int y = 0; y < 20; ++y) EXPECT_EQ(At(5, y), y % 6 < 3 ? kPen : kMarker) << y;  // gaps keep the marker
  for (int x = 9; x <= 30; ++x) EXPECT_EQ(At(x, 12), (30 - x) % 6 < 3 ? kPen : kMarker) << x;
  EXPECT_EQ(PixelsOf(MakeColour(0, 0, 255)), Column(40, 0, 9));
}

TEST_F(CairoCanvasTest, SunkenEdgeHasTheButtonShadesOnItsFourSides) {
  Canvas canvas = Begin();
  canvas.DrawSunkenEdge(canvas.context, Rect{10, 10, 30, 25});
  End(canvas);
  // Outer ring: shadow on top and left, highlight on bottom and right, the
  // top-right and bottom-left corners in the bottom/right colour.
  EXPECT_EQ(At(20, 10), kButtonShadowColour);
  EXPECT_EQ(At(10, 17), kButtonShadowColour);
  EXPECT_EQ(At(10, 10), kButtonShadowColour);
  EXPECT_EQ(At(20, 24), kButtonHighlightColour);
  EXPECT_EQ(At(29, 17), kButtonHighlightColour);
  EXPECT_EQ(At(29, 10), kButtonHighlightColour);
  EXPECT_EQ(At(10, 24), kButtonHighlightColour);
  // Inner ring.
  EXPECT_EQ(At(20, 11), kDarkShadowColour);
  EXPECT_EQ(At(11, 17), kDarkShadowColour);
  EXPECT_EQ(At(20, 23), kLightColour);
  EXPECT_EQ(At(28, 17), kLightColour);
  EXPECT_EQ(At(28, 11), kLightColour);
  // Inside and outside untouched.
  EXPECT_EQ(At(12, 12), kMarker);
  EXPECT_EQ(At(27, 22), kMarker);
  EXPECT_EQ(At(9, 17), kMarker);
  EXPECT_EQ(At(30, 17), kMarker);
  EXPECT_EQ(At(20, 25), kMarker);
}

// Lines through the general path (a target that is not an image) come out
// pixel for pixel as they do written straight into an image.
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

  int differences = 0, drawn = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      differences += At(x, y) != PixelAt(replayed, x, y);
      drawn += At(x, y) != kMarker;
    }
  }
  EXPECT_GT(drawn, 300);
  EXPECT_EQ(differences, 0);
  cairo_surface_destroy(replayed);
  cairo_surface_destroy(recording);
}

class CairoTextTest : public CairoCanvasTest {
 protected:
  void SetUp() override {
    CairoCanvasTest::SetUp();
    CreateDisplayFonts(96);
  }
  void TearDown() override {
    DestroyDisplayFonts();
    CairoCanvasTest::TearDown();
  }
  // Bounding box of the pixels that are no longer the marker.
  Rect Drawn() const {
    Rect box = {kWidth, kHeight, 0, 0};
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (At(x, y) != kMarker) {
          box.left = std::min(box.left, x);
          box.top = std::min(box.top, y);
          box.right = std::max(box.right, x + 1);
          box.bottom = std::max(box.bottom, y + 1);
        }
    return box;
  }
};

TEST_F(CairoTextTest, FontsResolveToTheWindowsFontsOrTheirMetricTwins) {
  const std::string panel = CairoFontFamily(measurementState.panelFont);
  const std::string axis = CairoFontFamily(measurementState.axisFont);
  EXPECT_FALSE(panel.empty());
  EXPECT_FALSE(axis.empty());
  if (access("/usr/share/wine/fonts/tahoma.ttf", R_OK) == 0) {
    EXPECT_EQ(panel, "Tahoma");
  }
  if (access("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", R_OK) == 0) {
    EXPECT_TRUE(axis == "Arial" || axis == "Liberation Sans") << axis;
  }
}

TEST_F(CairoTextTest, TextStaysInsideItsMeasuredCell) {
  Canvas canvas = Begin();
  canvas.SelectFont(canvas.context, measurementState.panelFont);
  const TextSize one = canvas.MeasureText(canvas.context, L"W", 1);
  const TextSize label = canvas.MeasureText(canvas.context, L"L1 Cache", 8);
  // An 8-point font at 96 DPI: an 11-pixel em in a cell of 12 to 15 pixels.
  EXPECT_GE(label.cy, 12);
  EXPECT_LE(label.cy, 15);
  EXPECT_EQ(one.cy, label.cy);
  EXPECT_GT(label.cx, 4 * one.cx);
  EXPECT_EQ(canvas.MeasureText(canvas.context, L"L1 Cache Lesen", 8).cx, label.cx);  // only length characters
  canvas.SetTransparentText(canvas.context);
  canvas.SetTextColour(canvas.context, MakeColour(255, 255, 255));
  canvas.DrawString(canvas.context, 6, 9, L"L1 Cache", 8);
  End(canvas);
  const Rect box = Drawn();
  EXPECT_GE(box.left, 6);
  EXPECT_GE(box.top, 9);
  EXPECT_LE(box.right, 6 + label.cx);
  EXPECT_LE(box.bottom, 9 + label.cy);
  EXPECT_GT(box.right - box.left, label.cx / 2);
  EXPECT_TRUE(Colours().count(MakeColour(255, 255, 255)));
}

TEST_F(CairoTextTest, OpaqueTextFillsItsCellUntilTransparentModeIsSet) {
  Canvas canvas = Begin();
  canvas.SelectFont(canvas.context, measurementState.panelFont);
  const TextSize size = canvas.MeasureText(canvas.context, L"ab", 2);
  canvas.DrawString(canvas.context, 2, 2, L"ab", 2);  // a fresh canvas: opaque
  canvas.SetTransparentText(canvas.context);
  canvas.DrawString(canvas.context, 2, 30, L"ab", 2);
  End(canvas);
  EXPECT_EQ(At(2, 2), kOpaqueTextBackground);
  EXPECT_EQ(At(2 + size.cx - 1, 2 + size.cy - 1), kOpaqueTextBackground);
  EXPECT_EQ(At(2 + size.cx, 2), kMarker);
  EXPECT_EQ(At(2, 30), kMarker);
}

TEST_F(CairoTextTest, TheTurnedFontRunsUpwardsInATallNarrowStrip) {
  Canvas canvas = Begin();
  canvas.SetTransparentText(canvas.context);
  canvas.SetTextColour(canvas.context, MakeColour(255, 255, 255));
  canvas.SelectFont(canvas.context, measurementState.axisFont);
  const TextSize size = canvas.MeasureText(canvas.context, L"Rate", 4);
  ASSERT_GT(size.cx, size.cy);
  ASSERT_LT(size.cx, 44);
  const int x = 10, y = 46;
  canvas.DrawString(canvas.context, x, y, L"Rate", 4);
  End(canvas);
  const Rect box = Drawn();
  EXPECT_GE(box.left, x);
  EXPECT_LE(box.right, x + size.cy);
  EXPECT_LE(box.bottom, y);
  EXPECT_GE(box.top, y - size.cx);
  EXPECT_GT(box.bottom - box.top, 2 * (box.right - box.left));
}

TEST_F(CairoTextTest, ClientAreaHasThePanelAndChartOnTheButtonFace) {
  DestroyDisplayFonts();
  measurementState = MeasurementState();
  CreateDisplayFonts(96);
  ResetResultArrays();
  for (uint32_t i = 0; i < BlockCount(); ++i) {
    measurementState.readRates[i] = 20000000000ull + i * 1000000ull;
    measurementState.writeRates[i] = 9000000000ull;
    measurementState.copyRates[i] = 6000000000ull;
  }
  const int width = 684, height = 449;
  cairo_surface_t* image = PaintClientAreaImage(width, height);
  ASSERT_NE(image, nullptr);
  auto at = [&](int x, int y) { return PixelAt(image, x, y); };
  const Rect client = {0, 0, width, height};
  const Rect panel = GetPanelRect(client), chart = GetChartRect(client);

  // Button face in the margins and the strip between the two areas.
  for (auto [x, y] : {std::pair{0, 0}, {4, 200}, {width - 1, 300}, {300, 4}, {300, 57}, {300, height - 1}}) {
    EXPECT_EQ(at(x, y), kButtonFaceColour) << x << "," << y;
  }
  // Both areas framed by the sunken edge and black inside.
  for (const Rect& area : {panel, chart}) {
    EXPECT_EQ(at(area.left, area.top + 20), kButtonShadowColour);
    EXPECT_EQ(at(area.left + 1, area.top + 20), kDarkShadowColour);
    EXPECT_EQ(at(area.right - 1, area.top + 20), kButtonHighlightColour);
    EXPECT_EQ(at(area.left + 20, area.bottom - 1), kButtonHighlightColour);
    EXPECT_EQ(at(area.left + 2, area.bottom - 3), MakeColour(0, 0, 0));
  }
  // The chart's grid, curves and title, and the panel's figures.
  std::set<Colour> chartColours, panelColours, titleColours;
  for (int y = chart.top; y < chart.bottom; ++y)
    for (int x = chart.left; x < chart.right; ++x) chartColours.insert(at(x, y));
  for (int y = panel.top; y < panel.bottom; ++y)
    for (int x = panel.left; x < panel.right; ++x) panelColours.insert(at(x, y));
  for (int y = chart.top + 5; y < chart.top + 120; ++y)
    for (int x = chart.left + 5; x < chart.left + 20; ++x) titleColours.insert(at(x, y));
  for (Colour colour : {MakeColour(0, 80, 0), measurementState.curveColours[0], measurementState.curveColours[1],
                        measurementState.curveColours[2]}) {
    EXPECT_TRUE(chartColours.count(colour)) << std::hex << colour;
  }
  EXPECT_TRUE(titleColours.count(MakeColour(255, 255, 255)));
  EXPECT_TRUE(panelColours.count(MakeColour(255, 255, 255)));
  EXPECT_TRUE(panelColours.count(MakeColour(128, 128, 128)));  // the version line

  // On a surface that is not an image (as a window's is) the same pixels
  // arrive, painted off-screen and copied.
  cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
  cairo_t* recorder = cairo_create(recording);
  measurementState.blinkPhase = false;
  PaintClientArea(recorder, width, height);
  cairo_destroy(recorder);
  measurementState.blinkPhase = false;
  cairo_surface_t* direct = PaintClientAreaImage(width, height);
  cairo_surface_t* replayed = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* replay = cairo_create(replayed);
  cairo_set_source_surface(replay, recording, 0, 0);
  cairo_paint(replay);
  cairo_destroy(replay);
  cairo_surface_flush(replayed);
  int differences = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) differences += PixelAt(direct, x, y) != PixelAt(replayed, x, y);
  EXPECT_EQ(differences, 0);
  cairo_surface_destroy(replayed);
  cairo_surface_destroy(direct);
  cairo_surface_destroy(recording);

  cairo_surface_destroy(image);
  std::free(measurementState.readRates);
  std::free(measurementState.writeRates);
  std::free(measurementState.copyRates);
  measurementState.readRates = measurementState.writeRates = measurementState.copyRates = nullptr;
}

}  // namespace
