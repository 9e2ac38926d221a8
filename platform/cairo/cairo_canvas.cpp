#include "platform/cairo/cairo_canvas.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "display/chart.h"
#include "display/layout.h"
#include "display/panel.h"

namespace {

// Fonts ----------------------------------------------------------------------

// Free fonts with the metrics of the Windows fonts the window names, used
// where fontconfig has no font of that family. fontconfig's own aliases
// already give Liberation Sans for Arial; Wine ships a Tahoma outside
// fontconfig's directories.
const char* const kWineTahomaFiles[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};

// A text shaped once in a font, kept for the next measurement or drawing of
// the same text (the panel and chart draw the same labels at every paint).
struct ShapedText {
  PangoLayout* layout;
  int32_t width;  // advance in whole pixels
};
constexpr size_t kShapedTextLimit = 1024;

struct CairoFont {
  PangoFontDescription* description;
  bool turned;
  int32_t ascent, descent;  // whole pixels; the cell is their sum
  std::string family;
  std::unordered_map<std::wstring, ShapedText> shaped;
};

// The process's text machinery: a font map of its own on a fontconfig
// configuration that has the fallback fonts added, and one context with the
// rendering options every canvas uses. Created at the first font, kept for
// the life of the process.
struct TextSystem {
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;
};
TextSystem textSystem;

bool HasFamily(FcConfig* config, const char* family) {
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* fonts = FcFontList(config, pattern, objects);
  const bool found = fonts != nullptr && fonts->nfont > 0;
  if (fonts != nullptr) FcFontSetDestroy(fonts);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return found;
}

PangoContext* TextContext() {
  if (textSystem.context != nullptr) return textSystem.context;
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (config != nullptr && !HasFamily(config, "Tahoma")) {
    for (const char* file : kWineTahomaFiles) {
      if (access(file, R_OK) == 0) FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file));
    }
  }
  textSystem.fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  if (config != nullptr) {
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(textSystem.fontMap), config);
    FcConfigDestroy(config);  // the font map holds its own reference
  }
  textSystem.context = pango_font_map_create_context(textSystem.fontMap);
  // Grey antialiasing (a picture file must not carry one screen's subpixel
  // order), full hinting and whole-pixel advances, as GDI measures text.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(textSystem.context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(textSystem.context, TRUE);
  return textSystem.context;
}

CairoFont* FontOf(FontHandle handle) { return reinterpret_cast<CairoFont*>(handle); }

// Pango units to whole pixels, rounded to nearest as GDI rounds the scaled
// ascent and descent.
int32_t RoundedPixels(int units) { return (units + PANGO_SCALE / 2) / PANGO_SCALE; }

// GetTextMetrics's cell: the font's Windows ascent and descent (OS/2
// usWinAscent and usWinDescent) scaled to the em height, each rounded to
// whole pixels. False for a font without them.
bool WindowsCellMetrics(PangoFont* loaded, int32_t emPixels, int32_t* ascent, int32_t* descent) {
  hb_font_t* shaper = pango_font_get_hb_font(loaded);
  if (shaper == nullptr) return false;
  hb_face_t* face = hb_font_get_face(shaper);
  const int64_t unitsPerEm = hb_face_get_upem(face);
  hb_blob_t* table = hb_face_reference_table(face, HB_TAG('O', 'S', '/', '2'));
  unsigned int length = 0;
  const uint8_t* data = reinterpret_cast<const uint8_t*>(hb_blob_get_data(table, &length));
  const bool found = data != nullptr && length >= 78 && unitsPerEm > 0;
  if (found) {
    const int64_t winAscent = (data[74] << 8) | data[75];
    const int64_t winDescent = (data[76] << 8) | data[77];
    *ascent = static_cast<int32_t>((winAscent * emPixels + unitsPerEm / 2) / unitsPerEm);
    *descent = static_cast<int32_t>((winDescent * emPixels + unitsPerEm / 2) / unitsPerEm);
  }
  hb_blob_destroy(table);
  return found;
}

void LoadMetrics(CairoFont* font) {
  PangoFont* loaded = pango_font_map_load_font(textSystem.fontMap, TextContext(), font->description);
  if (loaded == nullptr) {
    font->ascent = font->descent = 0;
    font->family = "";
    return;
  }
  const int32_t emPixels = pango_font_description_get_size(font->description) / PANGO_SCALE;
  if (!WindowsCellMetrics(loaded, emPixels, &font->ascent, &font->descent)) {
    PangoFontMetrics* metrics = pango_font_get_metrics(loaded, nullptr);
    font->ascent = RoundedPixels(pango_font_metrics_get_ascent(metrics));
    font->descent = RoundedPixels(pango_font_metrics_get_descent(metrics));
    pango_font_metrics_unref(metrics);
  }
  PangoFontDescription* actual = pango_font_describe(loaded);
  const char* family = pango_font_description_get_family(actual);
  font->family = family != nullptr ? family : "";
  pango_font_description_free(actual);
  g_object_unref(loaded);
}

void ForgetShapedTexts(CairoFont* font) {
  for (auto& entry : font->shaped) g_object_unref(entry.second.layout);
  font->shaped.clear();
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

const ShapedText& Shape(CairoFont* font, const wchar_t* text, int32_t length) {
  std::wstring key(text, static_cast<size_t>(length > 0 ? length : 0));
  auto found = font->shaped.find(key);
  if (found != font->shaped.end()) return found->second;
  if (font->shaped.size() >= kShapedTextLimit) ForgetShapedTexts(font);

  std::string utf8;
  for (wchar_t c : key) AppendUtf8(utf8, static_cast<uint32_t>(c));
  PangoLayout* layout = pango_layout_new(TextContext());
  pango_layout_set_font_description(layout, font->description);
  pango_layout_set_single_paragraph_mode(layout, TRUE);
  pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
  PangoRectangle logical;
  pango_layout_line_get_extents(pango_layout_get_line_readonly(layout, 0), nullptr, &logical);
  const ShapedText shaped{layout, RoundedPixels(logical.width)};
  return font->shaped.emplace(std::move(key), shaped).first->second;
}

// Canvas ---------------------------------------------------------------------

constexpr double kQuarterTurn = 1.57079632679489661923;  // radians

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

void SetTransparentText(void* context) { CanvasOf(context)->transparentText = true; }
void SetTextColour(void* context, Colour colour) { CanvasOf(context)->textColour = colour; }
void SelectFont(void* context, FontHandle font) { CanvasOf(context)->font = FontOf(font); }

TextSize MeasureText(void* context, const wchar_t* text, int32_t length) {
  CairoFont* font = CanvasOf(context)->font;
  if (font == nullptr) return TextSize{0, 0};
  const int32_t width = length > 0 ? Shape(font, text, length).width : 0;
  return TextSize{width, font->ascent + font->descent};
}

void DrawString(void* context, int32_t x, int32_t y, const wchar_t* text, int32_t length) {
  CairoCanvas* canvas = CanvasOf(context);
  CairoFont* font = canvas->font;
  if (font == nullptr || length <= 0) return;
  FlushLines(canvas);
  const ShapedText& shaped = Shape(font, text, length);
  cairo_t* cr = canvas->cr;
  const int32_t cell = font->ascent + font->descent;
  if (!canvas->transparentText) {
    // Opaque mode fills the text's cell with the background colour first.
    if (font->turned) {
      FillPixels(cr, x, int64_t{y} - shaped.width, cell, shaped.width, kOpaqueTextBackground);
    } else {
      FillPixels(cr, x, y, shaped.width, cell, kOpaqueTextBackground);
    }
  }
  cairo_save(cr);
  cairo_translate(cr, x, y);
  // Turned 90 degrees counter-clockwise: the text runs upwards from (x, y),
  // the glyphs' tops towards x.
  if (font->turned) cairo_rotate(cr, -kQuarterTurn);
  cairo_move_to(cr, 0, font->ascent);
  SetSource(cr, canvas->textColour);
  pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(shaped.layout, 0));
  cairo_restore(cr);
}

int32_t MulDivRounded(int32_t number, int32_t numerator, int32_t denominator) {
  const int64_t product = int64_t{number} * numerator;
  return static_cast<int32_t>((product + denominator / 2) / denominator);
}

}  // namespace

FontHandle CreateCairoFont(const char* family, int32_t height, bool bold, bool turned) {
  CairoFont* font = new CairoFont();
  font->turned = turned;
  font->description = pango_font_description_new();
  pango_font_description_set_family(font->description, family);
  pango_font_description_set_weight(font->description, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  const int32_t pixels = height < 0 ? -height : (height > 0 ? height : 12);
  pango_font_description_set_absolute_size(font->description, pixels * PANGO_SCALE);
  LoadMetrics(font);
  if (height > 0 && font->ascent + font->descent > 0 && font->ascent + font->descent != height) {
    // A positive height is the cell's, not the em's: scale the em to fit.
    const int32_t em = MulDivRounded(height, height, font->ascent + font->descent);
    pango_font_description_set_absolute_size(font->description, (em > 0 ? em : 1) * PANGO_SCALE);
    LoadMetrics(font);
  }
  return reinterpret_cast<FontHandle>(font);
}

void DestroyCairoFont(FontHandle handle) {
  CairoFont* font = FontOf(handle);
  if (font == nullptr) return;
  ForgetShapedTexts(font);
  pango_font_description_free(font->description);
  delete font;
}

std::string CairoFontFamily(FontHandle font) { return font != 0 ? FontOf(font)->family : std::string(); }

void CreateDisplayFonts(int32_t dotsPerInch) {
  DestroyDisplayFonts();
  measurementState.panelFont = CreateCairoFont("Tahoma", -MulDivRounded(8, dotsPerInch, 72), false, false);
  measurementState.axisFont = CreateCairoFont("Arial", -MulDivRounded(9, dotsPerInch, 72), true, true);
}

void DestroyDisplayFonts() {
  DestroyCairoFont(measurementState.panelFont);
  DestroyCairoFont(measurementState.axisFont);
  measurementState.panelFont = 0;
  measurementState.axisFont = 0;
}

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
  canvas.SelectSolidPen = SelectSolidPen;
  canvas.SelectDottedPen = SelectDottedPen;
  canvas.MoveTo = MoveTo;
  canvas.LineTo = LineTo;
  canvas.SetTransparentText = SetTransparentText;
  canvas.SetTextColour = SetTextColour;
  canvas.SelectFont = SelectFont;
  canvas.MeasureText = MeasureText;
  canvas.DrawString = DrawString;
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

void PaintClientArea(cairo_t* cr, int32_t width, int32_t height) {
  int64_t deviceX, deviceY;
  if (!DrawsOnImagePixels(cr, &deviceX, &deviceY)) {
    // A window's surface: painting off-screen and copying the image is far
    // quicker than filling thousands of line pieces through Cairo's paths.
    cairo_surface_t* image = PaintClientAreaImage(width, height);
    if (image != nullptr) {
      cairo_save(cr);
      cairo_set_source_surface(cr, image, 0, 0);
      cairo_rectangle(cr, 0, 0, width, height);
      cairo_fill(cr);
      cairo_restore(cr);
      cairo_surface_destroy(image);
      return;
    }
  }
  const Rect client = {0, 0, width, height};
  const Rect chart = GetChartRect(client);
  const Rect panel = GetPanelRect(client);

  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  // The background erase: the button face everywhere but inside the two
  // areas (whose paint routines fill them), an even-odd fill of the client
  // rectangle with the two rectangles cut out.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_rectangle(cr, 0, 0, width, height);
  for (const Rect& area : {chart, panel}) {
    if (area.right > area.left && area.bottom > area.top) {
      cairo_rectangle(cr, area.left, area.top, area.right - area.left, area.bottom - area.top);
    }
  }
  SetSource(cr, kButtonFaceColour);
  cairo_fill(cr);

  Canvas canvas = BeginCairoCanvas(cr);
  PaintRateChart(canvas, chart);
  PaintResultsPanel(canvas, panel);
  EndCairoCanvas(canvas);
  cairo_restore(cr);
}

cairo_surface_t* PaintClientAreaImage(int32_t width, int32_t height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return nullptr;
  }
  cairo_t* cr = cairo_create(image);
  PaintClientArea(cr, width, height);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  return image;
}
