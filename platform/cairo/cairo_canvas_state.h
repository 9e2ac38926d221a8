// The Cairo backend's canvas record, shared by its two halves: pixels and
// lines (cairo_canvas.cpp), text and fonts (cairo_text.cpp).
#pragma once
#include <cairo.h>

#include <cstdint>

#include "display/canvas.h"

namespace cairo_backend {

struct CairoFont;

// Bounds of the drawable area, in whole pixels, that lines are limited to
// before they are walked: a line's coordinates may lie far outside.
struct PixelBounds {
  int64_t left, top, right, bottom;  // right and bottom exclusive
};

struct CairoCanvas {
  cairo_t* cr;
  PixelBounds bounds;
  Colour penColour = 0;
  bool dottedPen = false;
  int32_t currentX = 0, currentY = 0;
  bool transparentText = false;
  Colour textColour = 0;
  CairoFont* font = nullptr;
  // Line pixels are gathered as rectangles in cr's path and filled together
  // (one fill per run of lines in one colour, not one per line).
  bool linesPending = false;
  // Direct access to an image target's pixels, used for lines when cr draws
  // on an image in whole device pixels and its clip is one rectangle (then
  // bounds is exactly the clip): Cairo's general path fill is far slower for
  // thousands of tiny rectangles.
  uint8_t* pixels = nullptr;
  int32_t stride = 0;
  int64_t deviceX = 0, deviceY = 0;  // device pixel = user pixel + this
  int64_t imageWidth = 0, imageHeight = 0;
  bool directLines = false;
};

CairoCanvas* CanvasOf(void* context);
void SetSource(cairo_t* cr, Colour colour);
// Fills the lines gathered so far; every other drawing operation calls it first.
void FlushLines(CairoCanvas* canvas);
// Fills whole pixels in a colour, nothing when width or height is not positive.
void FillPixels(cairo_t* cr, int64_t left, int64_t top, int64_t width, int64_t height, Colour colour);
// Sets the canvas's text operations (cairo_text.cpp).
void SetTextOperations(Canvas& canvas);

}  // namespace cairo_backend
