#include "platform/win32/gdi_canvas.h"

namespace {

GdiCanvasState& StateOf(void* context) { return *static_cast<GdiCanvasState*>(context); }

RECT ToRECT(const Rect& rect) { return RECT{rect.left, rect.top, rect.right, rect.bottom}; }

void ClipToRect(void* context, const Rect& rect) {
  const HDC dc = StateOf(context).dc;
  // A path rectangle leaves out its right and bottom edge, hence the + 1.
  BeginPath(dc);
  Rectangle(dc, rect.left, rect.top, rect.right + 1, rect.bottom + 1);
  EndPath(dc);
  SelectClipPath(dc, RGN_COPY);
}

void FillRectangle(void* context, const Rect& rect, Colour colour) {
  const HDC dc = StateOf(context).dc;
  const RECT area = ToRECT(rect);
  SetDCBrushColor(dc, colour);
  FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void DrawSunkenEdge(void* context, const Rect& rect) {
  RECT area = ToRECT(rect);
  DrawEdge(StateOf(context).dc, &area, EDGE_SUNKEN, BF_RECT);
}

// An empty rectangle is left alone: a path rectangle would turn it round.
void ExcludeFromClip(void* context, const Rect& rect) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  const HDC dc = StateOf(context).dc;
  BeginPath(dc);
  Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
  EndPath(dc);
  SelectClipPath(dc, RGN_XOR);
}

void FillBackground(void* context, const Rect& rect) {
  const RECT area = ToRECT(rect);
  FillRect(StateOf(context).dc, &area, GetSysColorBrush(COLOR_BTNFACE));
}

void SelectSolidPen(void* context, Colour colour) {
  GdiCanvasState& state = StateOf(context);
  SelectObject(state.dc, GetStockObject(DC_PEN));
  SetDCPenColor(state.dc, colour);
  // The dotted pen is no longer selected, so it can go.
  if (state.dottedPen != nullptr) {
    DeleteObject(state.dottedPen);
    state.dottedPen = nullptr;
  }
}

void SelectDottedPen(void* context, Colour colour) {
  GdiCanvasState& state = StateOf(context);
  const HPEN pen = CreatePen(PS_DOT, 1, colour);
  SelectObject(state.dc, pen);
  if (state.dottedPen != nullptr) DeleteObject(state.dottedPen);
  state.dottedPen = pen;
}

void MoveTo(void* context, int32_t x, int32_t y) { MoveToEx(StateOf(context).dc, x, y, nullptr); }

void DrawLineTo(void* context, int32_t x, int32_t y) { LineTo(StateOf(context).dc, x, y); }

void SetTransparentText(void* context) { SetBkMode(StateOf(context).dc, TRANSPARENT); }

void SetTextColour(void* context, Colour colour) { SetTextColor(StateOf(context).dc, colour); }

void SelectFont(void* context, FontHandle font) {
  SelectObject(StateOf(context).dc, reinterpret_cast<HFONT>(font));
}

TextSize MeasureText(void* context, const wchar_t* text, int32_t length) {
  SIZE size{0, 0};
  GetTextExtentPoint32W(StateOf(context).dc, text, length, &size);
  return TextSize{size.cx, size.cy};
}

void DrawString(void* context, int32_t x, int32_t y, const wchar_t* text, int32_t length) {
  TextOutW(StateOf(context).dc, x, y, text, length);
}

}  // namespace

Canvas BeginGdiCanvas(HDC dc, GdiCanvasState* state) {
  state->dc = dc;
  state->dottedPen = nullptr;
  state->savedState = SaveDC(dc);
  SelectObject(dc, GetStockObject(DC_BRUSH));
  Canvas canvas;
  canvas.context = state;
  canvas.ClipToRect = ClipToRect;
  canvas.FillRect = FillRectangle;
  canvas.DrawSunkenEdge = DrawSunkenEdge;
  canvas.ExcludeFromClip = ExcludeFromClip;
  canvas.FillBackground = FillBackground;
  canvas.SelectSolidPen = SelectSolidPen;
  canvas.SelectDottedPen = SelectDottedPen;
  canvas.MoveTo = MoveTo;
  canvas.LineTo = DrawLineTo;
  canvas.SetTransparentText = SetTransparentText;
  canvas.SetTextColour = SetTextColour;
  canvas.SelectFont = SelectFont;
  canvas.MeasureText = MeasureText;
  canvas.DrawString = DrawString;
  return canvas;
}

void EndGdiCanvas(Canvas& canvas) {
  GdiCanvasState& state = StateOf(canvas.context);
  // Restoring the saved state deselects every object the paint selected,
  // so the dotted pen can then be deleted.
  if (state.savedState != 0) RestoreDC(state.dc, state.savedState);
  if (state.dottedPen != nullptr) {
    DeleteObject(state.dottedPen);
    state.dottedPen = nullptr;
  }
}
