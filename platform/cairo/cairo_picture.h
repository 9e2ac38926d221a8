// Off-screen pictures through Cairo's own surfaces: an RGB24 image (for the
// pixel formats), or an SVG or PDF document streamed into an open file. The
// display fonts must exist while painting (CreateDisplayFonts).
#pragma once
#include <cairo.h>

#include <cstdint>

#include "display/canvas.h"
#include "platform/os.h"

// A width x height RGB24 image painted by paint(context), flushed; nullptr
// when no such image can be made (an empty or too large size, no memory).
// The caller destroys it.
cairo_surface_t* PaintCairoImage(int32_t width, int32_t height, PaintPictureFn paint, const void* context);

// Writes image as a PNG file into file (left open). False when Cairo or a
// write fails.
bool WriteCairoPng(cairo_surface_t* image, FileHandle file);

// A document of one page, width x height with one picture pixel a unit of the
// document (SVG: px; PDF: pt), painted by paint(context) and streamed into
// file (left open). Text stays text: glyphs from the display fonts, not
// pixels. False when Cairo or a write fails.
enum class CairoDocument { Svg, Pdf };
bool WriteCairoDocument(CairoDocument kind, int32_t width, int32_t height, PaintPictureFn paint, const void* context,
                        FileHandle file);
