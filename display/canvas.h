// The drawing seam: the few operations the results panel and the chart need,
// with the pixel conventions of GDI. A backend fills in a Canvas: GDI on
// Windows, Cairo on Linux (window and off-screen image), and a recorder in the
// tests that keeps every operation.
#pragma once
#include <cstdint>

#include "measure/state.h"

// A rectangle in client pixels; right and bottom are exclusive, as in a RECT.
struct Rect {
  int32_t left, top, right, bottom;
};

struct TextSize {
  int32_t cx, cy;
};

struct Canvas {
  void* context;  // the backend's own state

  // Clip region = the pixels (left..right, top..bottom) inclusive, that is the
  // path Rectangle(left, top, right + 1, bottom + 1) of GDI, replacing any clip.
  void (*ClipToRect)(void* context, const Rect& rect);
  // Fill left..right-1, top..bottom-1 with a solid colour (FillRect).
  void (*FillRect)(void* context, const Rect& rect, Colour colour);
  // The sunken 2-pixel frame just inside rect (DrawEdge, EDGE_SUNKEN, BF_RECT).
  void (*DrawSunkenEdge)(void* context, const Rect& rect);

  // Pens: the solid 1-pixel DC pen in a colour, or a dotted 1-pixel pen.
  void (*SelectSolidPen)(void* context, Colour colour);
  void (*SelectDottedPen)(void* context, Colour colour);
  void (*MoveTo)(void* context, int32_t x, int32_t y);
  // Line from the current point to (x, y), leaving out its last pixel.
  void (*LineTo)(void* context, int32_t x, int32_t y);

  // Text: transparent background, a colour, one of the record's two fonts.
  void (*SetTransparentText)(void* context);
  void (*SetTextColour)(void* context, Colour colour);
  void (*SelectFont)(void* context, FontHandle font);
  TextSize (*MeasureText)(void* context, const wchar_t* text, int32_t length);
  // Draws text with its top-left corner at (x, y), or, in a font turned by 90
  // degrees, running upwards from (x, y).
  void (*DrawText)(void* context, int32_t x, int32_t y, const wchar_t* text, int32_t length);
};
