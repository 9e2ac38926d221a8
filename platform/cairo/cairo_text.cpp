// The Cairo backend's text: the two display fonts through Pango and
// fontconfig, with GDI's cell metrics, and the canvas's text operations.
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <unistd.h>

#include <string>
#include <unordered_map>

#include "display/display_state.h"
#include "platform/cairo/cairo_canvas.h"
#include "platform/cairo/cairo_canvas_state.h"

namespace cairo_backend {

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

}  // namespace cairo_backend

namespace {
using namespace cairo_backend;

constexpr double kQuarterTurn = 1.57079632679489661923;  // radians

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

void cairo_backend::SetTextOperations(Canvas& canvas) {
  canvas.SetTransparentText = SetTransparentText;
  canvas.SetTextColour = SetTextColour;
  canvas.SelectFont = SelectFont;
  canvas.MeasureText = MeasureText;
  canvas.DrawString = DrawString;
}

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
  displayState.panelFont = CreateCairoFont("Tahoma", -MulDivRounded(8, dotsPerInch, 72), false, false);
  displayState.axisFont = CreateCairoFont("Arial", -MulDivRounded(9, dotsPerInch, 72), true, true);
}

void DestroyDisplayFonts() {
  DestroyCairoFont(displayState.panelFont);
  DestroyCairoFont(displayState.axisFont);
  displayState.panelFont = 0;
  displayState.axisFont = 0;
}
