// The Cairo drawing backend (Linux): the Canvas seam on a cairo_t, a window's
// or an off-screen image's, with GDI's pixel conventions, and the two display
// fonts through Pango and fontconfig.
//
// Lines are 1 pixel wide and never antialiased: every pixel a GDI line would
// set is filled whole, and no other. Text is antialiased in grey levels with
// hinted, whole-pixel metrics. The canvas expects a cairo_t whose user space
// is device pixels (identity or a whole-pixel translation).
#pragma once
#include <cairo.h>

#include <cstdint>
#include <string>

#include "display/canvas.h"

// The system colours GDI takes for the window background and the sunken
// frame, as current Windows (7 to 11) sets them by default: COLOR_BTNFACE,
// COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW and COLOR_3DLIGHT.
constexpr Colour kButtonFaceColour = MakeColour(240, 240, 240);
constexpr Colour kButtonShadowColour = MakeColour(160, 160, 160);
constexpr Colour kButtonHighlightColour = MakeColour(255, 255, 255);
constexpr Colour kDarkShadowColour = MakeColour(105, 105, 105);
constexpr Colour kLightColour = MakeColour(227, 227, 227);

// GDI's background colour for text in opaque mode, the state a fresh device
// context starts in.
constexpr Colour kOpaqueTextBackground = MakeColour(255, 255, 255);

// Fonts ----------------------------------------------------------------------

// A font like CreateFontIndirectW's: family, LOGFONT height (negative: the em
// height in pixels; positive: the cell height), bold or normal weight, and
// turned by 90 degrees counter-clockwise (escapement and orientation 900).
// A family fontconfig does not have is replaced by its metric-compatible
// free font where one is installed (Liberation Sans for Arial, Wine's Tahoma
// for Tahoma), else by the default sans-serif font. Never fails.
FontHandle CreateCairoFont(const char* family, int32_t height, bool bold, bool turned);
void DestroyCairoFont(FontHandle font);
// The family the font resolved to, e.g. "Liberation Sans" for "Arial".
std::string CairoFontFamily(FontHandle font);

// The window's two fonts for a screen of dotsPerInch, into the display
// state: panelFont Tahoma 8 pt (height -MulDiv(8, dpi, 72)), axisFont Arial
// 9 pt bold, turned. Any fonts created before are destroyed first.
void CreateDisplayFonts(int32_t dotsPerInch);
void DestroyDisplayFonts();

// Canvas ---------------------------------------------------------------------

// A canvas drawing on cr. It starts with cr's own clip, the solid black pen,
// opaque black text and no font, as a fresh device context does; cr's state
// is saved here and restored by EndCairoCanvas, which also finishes drawing
// that the canvas batches (lines). Nothing may draw on cr in between.
Canvas BeginCairoCanvas(cairo_t* cr);
void EndCairoCanvas(Canvas& canvas);
