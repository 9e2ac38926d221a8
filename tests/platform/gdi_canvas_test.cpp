// The GDI drawing backend, painting into a memory DC with a 32-bit DIB
// section and checked by its pixels.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "platform/win32/gdi_canvas.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 100;
constexpr Colour kBlue = MakeColour(0, 0, 255);
constexpr Colour kRed = MakeColour(255, 0, 0);
constexpr Colour kGreen = MakeColour(0, 80, 0);

class GdiCanvasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* raw = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    bits = static_cast<uint32_t*>(raw);
    previousBitmap = SelectObject(dc, bitmap);
    for (int i = 0; i < kWidth * kHeight; ++i) bits[i] = 0x00FFFFFF;  // white
    canvas = BeginGdiCanvas(dc, &state);
  }
  void TearDown() override {
    if (canvas.context != nullptr) EndGdiCanvas(canvas);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }

  // The pixel as a COLORREF-style Colour.
  Colour At(int x, int y) {
    GdiFlush();
    const uint32_t pixel = bits[y * kWidth + x];
    return MakeColour((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }
  int Count(Colour colour, int left, int top, int right, int bottom) {
    int count = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) count += At(x, y) == colour;
    return count;
  }

  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previousBitmap = nullptr;
  uint32_t* bits = nullptr;
  GdiCanvasState state{};
  Canvas canvas{};
};

TEST_F(GdiCanvasTest, FillCoversExactlyTheRectangleAndTheClipLimitsItToTheSamePixels) {
  canvas.FillRect(canvas.context, Rect{10, 20, 30, 25}, kBlue);
  EXPECT_EQ(Count(kBlue, 0, 0, kWidth, kHeight), 20 * 5);
  EXPECT_EQ(At(10, 20), kBlue);
  EXPECT_EQ(At(29, 24), kBlue);
  EXPECT_NE(At(30, 24), kBlue);
  EXPECT_NE(At(29, 25), kBlue);

  // After clipping to a rectangle, a fill of everything reaches exactly the
  // pixels a fill of that rectangle would, and so does a line through it.
  canvas.ClipToRect(canvas.context, Rect{50, 40, 70, 60});
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, kRed);
  EXPECT_EQ(Count(kRed, 0, 0, kWidth, kHeight), 20 * 20);
  EXPECT_EQ(At(50, 40), kRed);
  EXPECT_EQ(At(69, 59), kRed);
  EXPECT_NE(At(70, 59), kRed);
  EXPECT_NE(At(69, 60), kRed);
  EXPECT_NE(At(49, 40), kRed);
  canvas.SelectSolidPen(canvas.context, kGreen);
  canvas.MoveTo(canvas.context, 0, 45);
  canvas.LineTo(canvas.context, kWidth, 45);
  EXPECT_EQ(Count(kGreen, 0, 45, kWidth, 46), 20);

  // A new clip replaces the old one.
  canvas.ClipToRect(canvas.context, Rect{0, 0, 5, 5});
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, kBlue);
  EXPECT_EQ(Count(kBlue, 0, 0, 5, 5), 25);
  EXPECT_EQ(At(60, 50), kRed);
}

TEST_F(GdiCanvasTest, LinesLeaveOutTheirLastPixelAndContinueFromIt) {
  canvas.SelectSolidPen(canvas.context, kBlue);
  canvas.MoveTo(canvas.context, 10, 10);
  canvas.LineTo(canvas.context, 20, 10);  // 10..19
  canvas.LineTo(canvas.context, 20, 15);  // 10..14 in column 20
  EXPECT_EQ(Count(kBlue, 0, 10, kWidth, 11), 11);  // 10..19, and (20, 10) from the second line
  EXPECT_EQ(At(20, 14), kBlue);
  EXPECT_NE(At(20, 15), kBlue);
  EXPECT_EQ(Count(kBlue, 0, 0, kWidth, kHeight), 15);

  // The DC pen takes its colour at each selection.
  canvas.SelectSolidPen(canvas.context, kRed);
  canvas.MoveTo(canvas.context, 30, 40);
  canvas.LineTo(canvas.context, 30, 30);  // runs upwards: 40..31
  EXPECT_EQ(Count(kRed, 30, 0, 31, kHeight), 10);
  EXPECT_EQ(At(30, 40), kRed);
  EXPECT_NE(At(30, 30), kRed);
}

TEST_F(GdiCanvasTest, DottedPenDrawsThreeAndLeavesThreeKeepingTheBackgroundInTheGaps) {
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, kBlue);
  canvas.SetTransparentText(canvas.context);
  canvas.SelectDottedPen(canvas.context, kRed);
  canvas.MoveTo(canvas.context, 40, 10);
  canvas.LineTo(canvas.context, 40, 70);
  for (int y = 10; y < 70; ++y) {
    EXPECT_EQ(At(40, y), ((y - 10) % 6 < 3) ? kRed : kBlue) << "y = " << y;
  }
  EXPECT_EQ(At(40, 70), kBlue);

  // Back to the solid pen: the dotted pen is deleted, and lines are solid.
  const HGDIOBJ dotted = GetCurrentObject(dc, OBJ_PEN);
  canvas.SelectSolidPen(canvas.context, kGreen);
  EXPECT_EQ(GetObjectType(dotted), 0u) << "the dotted pen still exists";
  canvas.MoveTo(canvas.context, 50, 10);
  canvas.LineTo(canvas.context, 50, 70);
  EXPECT_EQ(Count(kGreen, 50, 10, 51, 70), 60);
}

TEST_F(GdiCanvasTest, SunkenEdgeHasTheSystemShadowAndLightColoursOnItsTwoRings) {
  const Rect rect{20, 20, 60, 50};
  canvas.FillRect(canvas.context, rect, MakeColour(0, 0, 0));
  canvas.DrawSunkenEdge(canvas.context, rect);
  const Colour shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const Colour darkShadow = GetSysColor(COLOR_3DDKSHADOW), light = GetSysColor(COLOR_3DLIGHT);
  // Outer ring on the rectangle's own border pixels.
  EXPECT_EQ(At(40, 20), shadow);
  EXPECT_EQ(At(20, 35), shadow);
  EXPECT_EQ(At(40, 49), highlight);
  EXPECT_EQ(At(59, 35), highlight);
  EXPECT_EQ(At(59, 20), highlight);  // top-right corner: the right side's colour
  EXPECT_EQ(At(20, 49), highlight);  // bottom-left corner: the bottom's colour
  // Inner ring one pixel further in.
  EXPECT_EQ(At(40, 21), darkShadow);
  EXPECT_EQ(At(21, 35), darkShadow);
  EXPECT_EQ(At(40, 48), light);
  EXPECT_EQ(At(58, 35), light);
  // Inside and outside untouched.
  EXPECT_EQ(At(40, 35), MakeColour(0, 0, 0));
  EXPECT_EQ(At(40, 19), MakeColour(255, 255, 255));
  EXPECT_EQ(At(60, 35), MakeColour(255, 255, 255));
}

TEST_F(GdiCanvasTest, TextIsDrawnInsideItsMeasuredCellInTheTextColourAndTurnedFontsRunUpwards) {
  const HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  const HFONT turned = CreateFontW(-12, 0, 900, 900, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, PROOF_QUALITY, 0, L"Arial");
  ASSERT_NE(font, nullptr);
  ASSERT_NE(turned, nullptr);
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, MakeColour(0, 0, 0));
  canvas.SetTransparentText(canvas.context);
  canvas.SetTextColour(canvas.context, MakeColour(255, 255, 255));
  canvas.SelectFont(canvas.context, reinterpret_cast<FontHandle>(font));

  const TextSize shortSize = canvas.MeasureText(canvas.context, L"L1", 2);
  const TextSize size = canvas.MeasureText(canvas.context, L"L1 Cache Lesen: ", 16);
  EXPECT_GT(shortSize.cx, 0);
  EXPECT_GT(size.cx, shortSize.cx);
  EXPECT_GE(size.cy, 10);
  canvas.DrawString(canvas.context, 10, 10, L"L1 Cache Lesen: ", 16);
  const Colour white = MakeColour(255, 255, 255);
  const int inside = Count(white, 10, 10, 10 + size.cx, 10 + size.cy);
  EXPECT_GT(inside, 20);
  EXPECT_EQ(Count(white, 0, 0, kWidth, kHeight), inside) << "white pixels outside the measured cell";

  // Turned by 90 degrees: from (x, y) the text runs up to y - cx, its cell
  // spanning x .. x + cy - 1.
  canvas.FillRect(canvas.context, Rect{0, 0, kWidth, kHeight}, MakeColour(0, 0, 0));
  canvas.SelectFont(canvas.context, reinterpret_cast<FontHandle>(turned));
  const TextSize title = canvas.MeasureText(canvas.context, L"Transferrate", 12);
  ASSERT_LT(title.cx, kHeight - 10);
  const int y = 5 + title.cx;
  canvas.DrawString(canvas.context, 100, y, L"Transferrate", 12);
  int lit = 0, litOutside = 0;
  for (int py = 0; py < kHeight; ++py)
    for (int px = 0; px < kWidth; ++px) {
      if (At(px, py) == MakeColour(0, 0, 0)) continue;
      ++lit;
      if (px < 100 || px >= 100 + title.cy || py <= y - title.cx - 1 || py > y) ++litOutside;
    }
  EXPECT_GT(lit, 30);
  EXPECT_EQ(litOutside, 0);

  // The canvas's end deselects the fonts, so they can be deleted.
  EndGdiCanvas(canvas);
  canvas.context = nullptr;
  EXPECT_NE(GetCurrentObject(dc, OBJ_FONT), turned);
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_TRUE(DeleteObject(turned));
}

TEST_F(GdiCanvasTest, EndDeletesADottedPenStillSelectedAndRestoresTheDcsPen) {
  const HGDIOBJ originalPen = GetCurrentObject(dc, OBJ_PEN);
  canvas.SelectDottedPen(canvas.context, kRed);
  const HGDIOBJ dotted = GetCurrentObject(dc, OBJ_PEN);
  ASSERT_NE(dotted, originalPen);
  EndGdiCanvas(canvas);
  canvas.context = nullptr;
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), originalPen);
  EXPECT_EQ(GetObjectType(dotted), 0u);
}

}  // namespace
