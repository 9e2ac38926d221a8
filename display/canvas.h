// The drawing seam: the few operations the results panel and the chart need,
// with the pixel conventions of GDI. A backend fills in a Canvas: GDI on
// Windows, Cairo on Linux (window and off-screen image), and a recorder in the
// tests that keeps every operation.
//
// Coordinates are client pixels, x to the right and y downwards; pixel (x, y)
// is the unit square whose top-left corner is (x, y). Coordinates may lie far
// outside the target (the chart maps values it does not clamp to the plot);
// a backend draws what falls inside and must not fail on the rest. The paint
// routines keep every coordinate they pass within +-2^27, the range GDI
// accepts for device coordinates.
//
// State that one operation sets and later ones use, as in a GDI device
// context: the clip region, the selected pen (solid in a colour, or dotted),
// the current point, the text colour, the background mode and the selected
// font. A backend starts from the state its target already has; the panel and
// the chart set everything they rely on, except that the panel relies on the
// chart, painted first on the same canvas, for the transparent text mode.
#pragma once
#include <cstdint>

typedef uint32_t Colour;  // 0x00BBGGRR, as a Windows COLORREF
typedef uintptr_t FontHandle;  // a drawing backend's font; 0 means none

constexpr Colour MakeColour(uint32_t red, uint32_t green, uint32_t blue) {
  return red | (green << 8) | (blue << 16);
}

// A rectangle in client pixels; right and bottom are exclusive, as in a RECT.
// It is empty when right <= left or bottom <= top.
struct Rect {
  int32_t left, top, right, bottom;
};

struct TextSize {
  int32_t cx, cy;
};

struct Canvas {
  void* context;  // the backend's own state

  // Replaces the clip region (GDI: BeginPath, Rectangle(left, top, right + 1,
  // bottom + 1), EndPath, SelectClipPath(RGN_COPY)). In GDI's compatible
  // graphics mode a path rectangle leaves out its right and bottom edge, so
  // the clip covers exactly the pixels left..right-1, top..bottom-1, the same
  // pixels FillRect fills. Everything drawn afterwards, lines and text
  // included, is limited to them.
  void (*ClipToRect)(void* context, const Rect& rect);
  // Fills the pixels left..right-1, top..bottom-1 with a solid colour, nothing
  // when the rectangle is empty (GDI: SetDCBrushColor, FillRect with the stock
  // DC brush).
  void (*FillRect)(void* context, const Rect& rect, Colour colour);
  // The sunken frame of DrawEdge(EDGE_SUNKEN, BF_RECT): two 1-pixel rings just
  // inside rect. The outer ring (rows top and bottom-1, columns left and
  // right-1) is button-shadow on its top and left sides and button-highlight
  // on its bottom and right sides; the inner ring, one pixel further in, is
  // dark-shadow on top and left and light on bottom and right. The top-right
  // and bottom-left corner pixels of each ring take the bottom/right colour.
  // The colours are the system's COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT,
  // COLOR_3DDKSHADOW and COLOR_3DLIGHT; a backend without a system takes the
  // Windows defaults, RGB(160, 160, 160), (255, 255, 255), (105, 105, 105)
  // and (227, 227, 227).
  void (*DrawSunkenEdge)(void* context, const Rect& rect);
  // Takes the pixels left..right-2, top..bottom-2 out of the clip region
  // (GDI: BeginPath, Rectangle(left, top, right, bottom), EndPath,
  // SelectClipPath(RGN_XOR); the path rectangle leaves out its right and
  // bottom edge, and the rectangles taken out never overlap). The background
  // erase takes out the chart and the panel, whose paints cover their whole
  // rectangles. An empty rectangle changes nothing. The next ClipToRect
  // replaces the result.
  void (*ExcludeFromClip)(void* context, const Rect& rect);
  // Fills rect with the window background, the system's button face (GDI:
  // FillRect with GetSysColorBrush(COLOR_BTNFACE)); a backend without a system
  // takes the Windows default, RGB(240, 240, 240).
  void (*FillBackground)(void* context, const Rect& rect);

  // Selects the solid 1-pixel pen in a colour (GDI: SelectObject of the stock
  // DC pen, SetDCPenColor). A dotted pen selected before is released.
  void (*SelectSolidPen)(void* context, Colour colour);
  // Selects a dotted 1-pixel pen in a colour (GDI: CreatePen(PS_DOT, 1,
  // colour)): runs of 3 pixels drawn and 3 left out, starting with a drawn run
  // at each line's first pixel. In transparent mode the gaps keep what is
  // under them. The backend owns the pen and releases it at the next
  // SelectSolidPen (GDI: DeleteObject after selecting the DC pen again).
  void (*SelectDottedPen)(void* context, Colour colour);
  // Sets the current point (GDI: MoveToEx); draws nothing.
  void (*MoveTo)(void* context, int32_t x, int32_t y);
  // Draws a line with the selected pen from the current point to (x, y),
  // leaving out its last pixel (x, y) itself, and makes (x, y) the current
  // point (GDI: LineTo). Pixels follow GDI's line rule (Bresenham, 1 pixel
  // per step of the major axis), so a horizontal or vertical line from a to b
  // covers a..b-1 (or b+1..a when it runs backwards).
  void (*LineTo)(void* context, int32_t x, int32_t y);

  // Text is drawn without a background box from here on (GDI:
  // SetBkMode(TRANSPARENT)): only the glyphs' own pixels change.
  void (*SetTransparentText)(void* context);
  void (*SetTextColour)(void* context, Colour colour);
  // Selects one of the display's two fonts, panelFont or axisFont; the backend
  // gives the handle its meaning (GDI: an HFONT; axisFont is turned by 90
  // degrees counter-clockwise, escapement and orientation 900).
  void (*SelectFont)(void* context, FontHandle font);
  // The extent of length characters of text in the selected font (GDI:
  // GetTextExtentPoint32W): cx is the advance along the text, cy the font's
  // cell height (ascent plus descent). In the turned font cx is still the
  // length along the text, which then runs upwards.
  TextSize (*MeasureText)(void* context, const wchar_t* text, int32_t length);
  // Draws length characters of text in the selected font and text colour
  // (GDI: TextOutW with the default alignment TA_LEFT | TA_TOP). (x, y) is the
  // top-left corner of the text's cell: the text occupies x..x+cx-1,
  // y..y+cy-1. In the turned font the same corner of the turned cell is at
  // (x, y): the text runs upwards from y to y-cx and its cell spans x..x+cy-1,
  // the glyphs' tops towards x.
  void (*DrawString)(void* context, int32_t x, int32_t y, const wchar_t* text, int32_t length);
};

// A picture's painter: paints area on canvas from its context (the data it
// shows). Off-screen pictures are drawn through one, whatever their format.
using PaintPictureFn = void (*)(Canvas& canvas, Rect area, const void* context);
