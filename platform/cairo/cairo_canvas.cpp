#include "platform/cairo/cairo_canvas.h"

#include <algorithm>
#include <cmath>

#include "platform/cairo/cairo_canvas_state.h"

namespace cairo_backend {

CairoCanvas* CanvasOf(void* context) { return static_cast<CairoCanvas*>(context); }

void SetSource(cairo_t* cr, Colour colour) {
  cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, ((colour >> 16) & 0xFF) / 255.0);
}

void FlushLines(CairoCanvas* canvas) {
  if (!canvas->linesPending) return;
  if (canvas->directLines) {
    cairo_surface_mark_dirty(cairo_get_group_target(canvas->cr));
  } else {
    SetSource(canvas->cr, canvas->penColour);
    cairo_fill(canvas->cr);
  }
  canvas->linesPending = false;
}

void FillPixels(cairo_t* cr, int64_t left, int64_t top, int64_t width, int64_t height, Colour colour) {
  if (width <= 0 || height <= 0) return;
  cairo_rectangle(cr, static_cast<double>(left), static_cast<double>(top), static_cast<double>(width),
                  static_cast<double>(height));
  SetSource(cr, colour);
  cairo_fill(cr);
}

}  // namespace cairo_backend

namespace {
using namespace cairo_backend;

// Sets the bounds lines are limited to, from cr's clip, and whether they can
// be written straight into the image's pixels (the clip one rectangle).
void UpdateBounds(CairoCanvas* canvas) {
  cairo_t* cr = canvas->cr;
  double x1, y1, x2, y2;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  // An unbounded target reports huge extents; no line needs more than this.
  constexpr double kLimit = 1 << 28;
  canvas->bounds = PixelBounds{static_cast<int64_t>(std::floor(std::fmax(x1, -kLimit))),
                               static_cast<int64_t>(std::floor(std::fmax(y1, -kLimit))),
                               static_cast<int64_t>(std::ceil(std::fmin(x2, kLimit))),
                               static_cast<int64_t>(std::ceil(std::fmin(y2, kLimit)))};
  canvas->directLines = false;
  if (canvas->pixels == nullptr) return;
  cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
  if (list->status == CAIRO_STATUS_SUCCESS && list->num_rectangles <= 1) {
    PixelBounds b = {0, 0, 0, 0};
    bool whole = true;
    if (list->num_rectangles == 1) {
      const cairo_rectangle_t& r = list->rectangles[0];
      whole = r.x == std::floor(r.x) && r.y == std::floor(r.y) && r.width == std::floor(r.width) &&
              r.height == std::floor(r.height);
      b = PixelBounds{static_cast<int64_t>(r.x), static_cast<int64_t>(r.y), static_cast<int64_t>(r.x + r.width),
                      static_cast<int64_t>(r.y + r.height)};
    }
    // Never outside the image.
    b.left = std::max(b.left, -canvas->deviceX);
    b.top = std::max(b.top, -canvas->deviceY);
    b.right = std::min(b.right, canvas->imageWidth - canvas->deviceX);
    b.bottom = std::min(b.bottom, canvas->imageHeight - canvas->deviceY);
    if (whole) {
      canvas->bounds = b;
      canvas->directLines = true;
    }
  }
  cairo_rectangle_list_destroy(list);
}

// Sets up direct pixel access when cr draws on an RGB24 or ARGB32 image with
// user pixels that are device pixels moved by a whole number.
// True when cr draws on an RGB24 or ARGB32 image with user pixels that are
// device pixels moved by a whole number (set in deviceX, deviceY).
bool DrawsOnImagePixels(cairo_t* cr, int64_t* deviceX, int64_t* deviceY) {
  cairo_surface_t* target = cairo_get_group_target(cr);
  if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return false;
  const cairo_format_t format = cairo_image_surface_get_format(target);
  if (format != CAIRO_FORMAT_RGB24 && format != CAIRO_FORMAT_ARGB32) return false;
  double ox = 0, oy = 0, ax = 1, ay = 0, bx = 0, by = 1;
  cairo_user_to_device(cr, &ox, &oy);
  cairo_user_to_device(cr, &ax, &ay);
  cairo_user_to_device(cr, &bx, &by);
  if (ax - ox != 1 || ay - oy != 0 || bx - ox != 0 || by - oy != 1) return false;
  if (ox != std::floor(ox) || oy != std::floor(oy) || std::fabs(ox) > 1e9 || std::fabs(oy) > 1e9) return false;
  *deviceX = static_cast<int64_t>(ox);
  *deviceY = static_cast<int64_t>(oy);
  return true;
}

// Sets up direct pixel access where cr draws on an image's pixels.
void FindImageTarget(CairoCanvas* canvas) {
  cairo_t* cr = canvas->cr;
  int64_t deviceX = 0, deviceY = 0;
  if (!DrawsOnImagePixels(cr, &deviceX, &deviceY)) return;
  cairo_surface_t* target = cairo_get_group_target(cr);
  cairo_surface_flush(target);
  canvas->pixels = cairo_image_surface_get_data(target);
  if (canvas->pixels == nullptr) return;
  canvas->stride = cairo_image_surface_get_stride(target);
  canvas->imageWidth = cairo_image_surface_get_width(target);
  canvas->imageHeight = cairo_image_surface_get_height(target);
  canvas->deviceX = deviceX;
  canvas->deviceY = deviceY;
  // Nothing is ever visible outside the image: clipping to it keeps the clip
  // a single rectangle where cr had none.
  cairo_rectangle(cr, static_cast<double>(-canvas->deviceX), static_cast<double>(-canvas->deviceY),
                  static_cast<double>(canvas->imageWidth), static_cast<double>(canvas->imageHeight));
  cairo_clip(cr);
}

// Sets the pixels of a rectangle that lies inside the bounds in the pen's
// colour: at once in an image, else as part of the path filled later.
void EmitLinePixels(CairoCanvas* canvas, int64_t left, int64_t top, int64_t width, int64_t height) {
  if (!canvas->directLines) {
    cairo_rectangle(canvas->cr, static_cast<double>(left), static_cast<double>(top), static_cast<double>(width),
                    static_cast<double>(height));
    canvas->linesPending = true;
    return;
  }
  if (!canvas->linesPending) {
    cairo_surface_flush(cairo_get_group_target(canvas->cr));
    canvas->linesPending = true;
  }
  const Colour c = canvas->penColour;
  const uint32_t value = 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  for (int64_t y = top; y < top + height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(canvas->pixels + (y + canvas->deviceY) * canvas->stride);
    for (int64_t x = left; x < left + width; ++x) row[x + canvas->deviceX] = value;
  }
}

void ClipToRect(void* context, const Rect& rect) {
  CairoCanvas* canvas = CanvasOf(context);
  FlushLines(canvas);
  cairo_t* cr = canvas->cr;
  // The clip level saved by BeginCairoCanvas: back to cr's own clip, then
  // narrowed to the rectangle.
  cairo_restore(cr);
  cairo_save(cr);
  const bool empty = rect.right <= rect.left || rect.bottom <= rect.top;
  cairo_rectangle(cr, rect.left, rect.top, empty ? 0 : static_cast<double>(rect.right) - rect.left,
                  empty ? 0 : static_cast<double>(rect.bottom) - rect.top);
  cairo_clip(cr);
  UpdateBounds(canvas);
}

void FillRect(void* context, const Rect& rect, Colour colour) {
  CairoCanvas* canvas = CanvasOf(context);
  FlushLines(canvas);
  FillPixels(canvas->cr, rect.left, rect.top, int64_t{rect.right} - rect.left, int64_t{rect.bottom} - rect.top, colour);
}

// One ring of the sunken frame: top and left sides in one colour, bottom and
// right sides (with the top-right and bottom-left corners) in the other.
void DrawRing(cairo_t* cr, int64_t left, int64_t top, int64_t right, int64_t bottom, Colour topLeft,
              Colour bottomRight) {
  if (right <= left || bottom <= top) return;
  FillPixels(cr, left, top, right - 1 - left, 1, topLeft);
  FillPixels(cr, left, top, 1, bottom - 1 - top, topLeft);
  FillPixels(cr, left, bottom - 1, right - left, 1, bottomRight);
  FillPixels(cr, right - 1, top, 1, bottom - top, bottomRight);
}

void DrawSunkenEdge(void* context, const Rect& rect) {
  CairoCanvas* canvas = CanvasOf(context);
  FlushLines(canvas);
  DrawRing(canvas->cr, rect.left, rect.top, rect.right, rect.bottom, kButtonShadowColour, kButtonHighlightColour);
  DrawRing(canvas->cr, int64_t{rect.left} + 1, int64_t{rect.top} + 1, int64_t{rect.right} - 1,
           int64_t{rect.bottom} - 1, kDarkShadowColour, kLightColour);
}

void SelectPen(CairoCanvas* canvas, Colour colour, bool dotted) {
  if (colour != canvas->penColour) FlushLines(canvas);
  canvas->penColour = colour;
  canvas->dottedPen = dotted;
}

void SelectSolidPen(void* context, Colour colour) { SelectPen(CanvasOf(context), colour, false); }
void SelectDottedPen(void* context, Colour colour) { SelectPen(CanvasOf(context), colour, true); }

void MoveTo(void* context, int32_t x, int32_t y) {
  CairoCanvas* canvas = CanvasOf(context);
  canvas->currentX = x;
  canvas->currentY = y;
}

// The dotted pen: 3 pixels drawn, 3 left out, from each line's first pixel.
bool DotDrawn(int64_t step) { return step % 6 < 3; }

// Adds the pixels of the line from (x0, y0) to (x1, y1), its last pixel left
// out, to cr's path as rectangles of consecutive pixels. Bresenham: one pixel
// per step along the major axis, the minor coordinate rounded to nearest
// (halves away from the start). Only the steps whose major coordinate lies
// inside bounds are walked.
void AddLinePixels(CairoCanvas* canvas, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  const bool xMajor = std::llabs(x1 - x0) >= std::llabs(y1 - y0);
  // Work in (major, minor) coordinates.
  const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const int64_t majorDelta = xMajor ? x1 - x0 : y1 - y0, minorDelta = xMajor ? y1 - y0 : x1 - x0;
  const int64_t steps = std::llabs(majorDelta);
  if (steps == 0) return;
  const int64_t majorSign = majorDelta > 0 ? 1 : -1, minorSign = minorDelta > 0 ? 1 : -1;
  const int64_t minorMagnitude = std::llabs(minorDelta);
  const PixelBounds& b = canvas->bounds;
  const int64_t lowBound = xMajor ? b.left : b.top, highBound = xMajor ? b.right : b.bottom;
  const int64_t minorLow = xMajor ? b.top : b.left, minorHigh = xMajor ? b.bottom : b.right;

  // Steps i in [first, last) whose major coordinate major0 + sign * i lies in
  // [lowBound, highBound).
  int64_t first, last;
  if (majorSign > 0) {
    first = lowBound - major0;
    last = highBound - major0;
  } else {
    first = major0 - highBound + 1;
    last = major0 - lowBound + 1;
  }
  if (first < 0) first = 0;
  if (last > steps) last = steps;
  if (first >= last) return;

  // minor offset of step i = (2 * i * |minorDelta| + steps) / (2 * steps),
  // kept as quotient and remainder from step to step.
  const int64_t denominator = 2 * steps;
  const int64_t increment = 2 * minorMagnitude;  // at most denominator
  const __int128 numerator = static_cast<__int128>(2) * first * minorMagnitude + steps;
  int64_t offset = static_cast<int64_t>(numerator / denominator);
  int64_t remainder = static_cast<int64_t>(numerator % denominator);

  // The run being gathered: steps runStart..i-1 on one minor coordinate.
  int64_t runStart = -1, runMinor = 0;
  auto endRun = [&](int64_t endStep) {
    if (runStart < 0) return;
    const int64_t a = major0 + majorSign * runStart, z = major0 + majorSign * (endStep - 1);
    const int64_t low = a < z ? a : z, length = (a < z ? z - a : a - z) + 1;
    if (xMajor) {
      EmitLinePixels(canvas, low, runMinor, length, 1);
    } else {
      EmitLinePixels(canvas, runMinor, low, 1, length);
    }
    runStart = -1;
  };
  for (int64_t i = first; i < last; ++i) {
    const int64_t minor = minor0 + minorSign * offset;
    const bool drawn = (!canvas->dottedPen || DotDrawn(i)) && minor >= minorLow && minor < minorHigh;
    if (runStart >= 0 && (!drawn || minor != runMinor)) endRun(i);
    if (drawn && runStart < 0) {
      runStart = i;
      runMinor = minor;
    }
    remainder += increment;
    if (remainder >= denominator) {
      remainder -= denominator;
      ++offset;
    }
  }
  endRun(last);
}

void LineTo(void* context, int32_t x, int32_t y) {
  CairoCanvas* canvas = CanvasOf(context);
  const int64_t x0 = canvas->currentX, y0 = canvas->currentY;
  canvas->currentX = x;
  canvas->currentY = y;
  if (!canvas->dottedPen && (x0 == x || y0 == y)) {
    // Horizontal or vertical and solid: one rectangle, clipped to the bounds
    // first so that far-away ends stay small numbers.
    const PixelBounds& b = canvas->bounds;
    int64_t left = x0 < x ? x0 : (x0 == x ? x0 : int64_t{x} + 1);
    int64_t right = x0 < x ? x : x0 + 1;
    int64_t top = y0 < y ? y0 : (y0 == y ? y0 : int64_t{y} + 1);
    int64_t bottom = y0 < y ? y : y0 + 1;
    if (x0 == x && y0 == y) return;
    if (left < b.left) left = b.left;
    if (top < b.top) top = b.top;
    if (right > b.right) right = b.right;
    if (bottom > b.bottom) bottom = b.bottom;
    if (right <= left || bottom <= top) return;
    EmitLinePixels(canvas, left, top, right - left, bottom - top);
    return;
  }
  AddLinePixels(canvas, x0, y0, x, y);
}

// Takes rect, less its right column and bottom row as GDI's path rectangle
// leaves them, out of the clip: an even-odd clip of the bounds with it cut out.
void ExcludeFromClip(void* context, const Rect& rect) {
  CairoCanvas* canvas = CanvasOf(context);
  if (rect.right - 1 <= rect.left || rect.bottom - 1 <= rect.top) return;
  FlushLines(canvas);
  cairo_t* cr = canvas->cr;
  const PixelBounds& b = canvas->bounds;
  cairo_rectangle(cr, static_cast<double>(b.left), static_cast<double>(b.top), static_cast<double>(b.right - b.left),
                  static_cast<double>(b.bottom - b.top));
  cairo_rectangle(cr, rect.left, rect.top, static_cast<double>(rect.right) - 1 - rect.left,
                  static_cast<double>(rect.bottom) - 1 - rect.top);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  UpdateBounds(canvas);
}

void FillBackground(void* context, const Rect& rect) {
  CairoCanvas* canvas = CanvasOf(context);
  FlushLines(canvas);
  FillPixels(canvas->cr, rect.left, rect.top, int64_t{rect.right} - rect.left, int64_t{rect.bottom} - rect.top,
             kButtonFaceColour);
}

}  // namespace

Canvas BeginCairoCanvas(cairo_t* cr) {
  CairoCanvas* state = new CairoCanvas();
  state->cr = cr;
  cairo_save(cr);  // everything the canvas changes, undone at the end
  cairo_new_path(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  FindImageTarget(state);
  cairo_save(cr);  // the clip level that ClipToRect replaces
  UpdateBounds(state);
  Canvas canvas;
  canvas.context = state;
  canvas.ClipToRect = ClipToRect;
  canvas.FillRect = FillRect;
  canvas.DrawSunkenEdge = DrawSunkenEdge;
  canvas.ExcludeFromClip = ExcludeFromClip;
  canvas.FillBackground = FillBackground;
  canvas.SelectSolidPen = SelectSolidPen;
  canvas.SelectDottedPen = SelectDottedPen;
  canvas.MoveTo = MoveTo;
  canvas.LineTo = LineTo;
  SetTextOperations(canvas);
  return canvas;
}

void EndCairoCanvas(Canvas& canvas) {
  CairoCanvas* state = CanvasOf(canvas.context);
  if (state == nullptr) return;
  FlushLines(state);
  cairo_restore(state->cr);
  cairo_restore(state->cr);
  delete state;
  canvas.context = nullptr;
}
