// The Cairo backend, checked on the pixels it leaves in an image: drawn
// straight into the image, or through Cairo's paths on a recording surface
// replayed onto it afterwards (as on a window).
#include "platform/cairo/cairo_canvas.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "display/display_state.h"
#include "record/state.h"
#include "tests/support/canvas_conventions.h"

namespace {

using namespace canvas_conventions;
constexpr Colour kWhite = MakeColour(255, 255, 255);

template <bool kViaRecording>
struct CairoTarget {
  CairoTarget() {
    cairo_set_source_rgb(image, 1 / 255.0, 2 / 255.0, 3 / 255.0);  // the background
    cairo_paint(image);
    canvas = BeginCairoCanvas(kViaRecording ? recording : image);
  }
  ~CairoTarget() {
    Finish();
    for (cairo_t* cr : {image, recording}) cairo_surface_destroy(cairo_get_target(cr)), cairo_destroy(cr);
  }
  void Finish() {
    if (canvas.context == nullptr) return;
    EndCairoCanvas(canvas);
    cairo_set_source_surface(image, cairo_get_target(recording), 0, 0);
    cairo_paint(image);
    cairo_surface_flush(cairo_get_target(image));
  }
  Colour At(int x, int y) {  // the first pixel read ends the canvas
    Finish();
    cairo_surface_t* s = cairo_get_target(image);
    const uint32_t v = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s))[x];
    return MakeColour(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
  }
  cairo_t* image = cairo_create(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
  const cairo_rectangle_t extents = {0, 0, kWidth, kHeight};  // bounded, as a window is
  cairo_t* recording = cairo_create(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents));
  Canvas canvas = {};
  Colour shadow = kButtonShadowColour, highlight = kButtonHighlightColour, darkShadow = kDarkShadowColour,
         light = kLightColour;
};
using CairoTargets = ::testing::Types<CairoTarget<false>, CairoTarget<true>>;
INSTANTIATE_TYPED_TEST_SUITE_P(Cairo, CanvasConventions, CairoTargets);

class CairoCanvasTest : public CanvasConventions<CairoTarget<false>> {
 protected:
  // Bounding box of everything above row rowEnd that is no longer the background.
  Rect Drawn(int rowEnd = kHeight) {
    Rect box = {kWidth, kHeight, 0, 0};
    for (const auto& [x, y] : Span(0, 0, kWidth - 1, rowEnd - 1))
      if (target.At(x, y) != kBackground)
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
    return box;
  }
  static void SetUpTestSuite() { CreateDisplayFonts(96); }
  static void TearDownTestSuite() { DestroyDisplayFonts(); }
};

TEST_F(CairoCanvasTest, DegenerateSlantedFarAndBackwardsLines) {
  c.SelectSolidPen(c.context, kPen);
  c.FillRect(c.context, Rect{20, 20, 20, 30}, kPen);  // empty
  c.FillRect(c.context, Rect{30, 30, 25, 35}, kPen);  // inverted
  c.ClipToRect(c.context, Rect{50, 5, 45, 9});        // inverted: nothing visible
  c.FillRect(c.context, Rect{0, 0, kWidth, kHeight}, kBlue);
  Line(40, 10, 40, 20);
  c.ClipToRect(c.context, Rect{4, 4, 60, 44});
  Line(30, 30, 30, 30);  // to itself: nothing
  // Slanted: one pixel per step of the longer axis, the end left out, never antialiased.
  Line(40, 10, 49, 13);  // columns 40..48
  Line(40, 20, 37, 40);  // rows 20..39
  // From far outside: clipped, not walked. The steep one crosses every row at x = 8 + y / 2.
  Line(-(1 << 27), 6, 1 << 27, 6);
  Line(8 - (1 << 26), -(1 << 27), 8 + (1 << 26), 1 << 27);
  c.SelectDottedPen(c.context, kRed);
  Line(62, 41, 37, 41);  // the pattern starts at x = 62, outside the clip
  const Pixels pen = PixelsOf(kPen), red = PixelsOf(kRed);
  EXPECT_EQ(PixelsOf(kBackground).size() + pen.size() + red.size(), size_t{kWidth * kHeight});
  EXPECT_EQ(pen.size(), 9u + 20u + 56u + 40u - 1u);
  EXPECT_TRUE(pen.count({40, 10}) && pen.count({40, 20}));
  for (int x = 40; x <= 48; ++x) EXPECT_EQ(Span(x, 10, x, 13, pen).size(), pen.size() + 3) << x;
  for (int y = 20; y <= 39; ++y) EXPECT_EQ(Span(37, y, 40, y, pen).size(), pen.size() + 3) << y;
  EXPECT_EQ(Span(4, 6, 59, 6, pen), pen);
  for (int y = 4; y < 44; ++y) EXPECT_EQ(Span(0, y, 36, y, pen).size(), pen.size() + (y == 6 ? 4 : 36)) << y;
  for (int x = 37; x <= 59; ++x) EXPECT_EQ(red.count({x, 41}), x > 37 && (62 - x) % 6 < 3 ? 1u : 0u) << x;
}

TEST_F(CairoCanvasTest, TextStaysInItsMeasuredCellAndTheTurnedFontRunsUpwards) {
  // The Windows fonts, or their free metric twins where they are installed.
  EXPECT_TRUE(access("/usr/share/wine/fonts/tahoma.ttf", R_OK) != 0 ||
              CairoFontFamily(displayState.panelFont) == "Tahoma");
  EXPECT_TRUE(access("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf", R_OK) != 0 ||
              CairoFontFamily(displayState.axisFont) == "Liberation Sans");
  c.SelectFont(c.context, displayState.panelFont);
  const TextSize one = c.MeasureText(c.context, L"W", 1), label = c.MeasureText(c.context, L"L1 Cache", 8);
  EXPECT_TRUE(label.cy >= 12 && label.cy <= 15) << label.cy;  // an 8-point font at 96 DPI: an 11-pixel em
  EXPECT_TRUE(one.cy == label.cy && label.cx > 4 * one.cx);
  EXPECT_EQ(c.MeasureText(c.context, L"L1 Cache Lesen", 8).cx, label.cx);  // only length characters
  // A fresh canvas is opaque: the cell is filled with white first.
  const TextSize ab = c.MeasureText(c.context, L"ab", 2);
  c.DrawString(c.context, 40, 30, L"ab", 2);
  c.SetTransparentText(c.context);
  c.SetTextColour(c.context, kWhite);
  c.DrawString(c.context, 6, 9, L"L1 Cache", 8);
  const Pixels opaque = PixelsOf(kOpaqueTextBackground);
  EXPECT_TRUE(opaque.count({40, 30}) && opaque.count({40 + ab.cx - 1, 30 + ab.cy - 1}) && !opaque.count({40 + ab.cx, 30}));
  const Rect box = Drawn(28);  // the transparent label: glyph pixels only, within its cell
  EXPECT_TRUE(box.left >= 6 && box.top >= 9 && box.right <= 6 + label.cx && box.bottom <= 9 + label.cy);
  EXPECT_GT(box.right - box.left, label.cx / 2);
  EXPECT_EQ(target.At(6, 9), kBackground);
}

TEST_F(CairoCanvasTest, TheTurnedFontRunsUpwardsInATallNarrowStrip) {
  c.SetTransparentText(c.context);
  c.SetTextColour(c.context, kWhite);
  c.SelectFont(c.context, displayState.axisFont);
  const TextSize size = c.MeasureText(c.context, L"Rate", 4);
  ASSERT_TRUE(size.cx > size.cy && size.cx < 44);
  c.DrawString(c.context, 10, 46, L"Rate", 4);
  const Rect box = Drawn();
  EXPECT_TRUE(box.left >= 10 && box.right <= 10 + size.cy && box.bottom <= 46 && box.top >= 46 - size.cx);
  EXPECT_GT(box.bottom - box.top, 2 * (box.right - box.left));
}

}  // namespace
