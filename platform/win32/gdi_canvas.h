// The GDI drawing backend: the Canvas seam on a Windows device context, each
// operation made of the GDI calls it names (stock DC brush and pen, path
// clipping, FillRect, DrawEdge, a dotted pen, TextOutW).
#pragma once
#include <windows.h>

#include <cstdint>

#include "display/canvas.h"

// The backend's own state: the device context and the dotted pen it owns
// while one is selected.
struct GdiCanvasState {
  HDC dc;
  HPEN dottedPen;
  int savedState;
};

// A canvas drawing on dc. The device context's state is saved here and
// restored by EndGdiCanvas, which also deletes a dotted pen still selected, so
// that nothing the paint selected (the window's fonts among them) stays
// selected into the device context afterwards. The stock DC brush is selected
// from the start.
Canvas BeginGdiCanvas(HDC dc, GdiCanvasState* state);
void EndGdiCanvas(Canvas& canvas);

// The window's two fonts for a screen of dotsPerInch, into the display state,
// from the default GUI font: panelFont Tahoma 8 pt and axisFont Arial 9 pt
// bold, turned to read from bottom to top.
void CreateGdiDisplayFonts(int32_t dotsPerInch);
void DestroyGdiDisplayFonts();
