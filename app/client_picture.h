// The main window's client area as a Cairo picture: the desktop window's
// paints, its screenshots and the sweep tool's picture option.
#pragma once
#include <cairo.h>

#include <cstdint>

// Erases and paints the whole client area of a width x height window onto cr,
// whose user space is device pixels. Needs the display fonts.
void PaintClientPicture(cairo_t* cr, int32_t width, int32_t height);

// The same into a new RGB24 image; the caller destroys it. Null when the
// image cannot be created.
cairo_surface_t* PaintClientPictureImage(int32_t width, int32_t height);
