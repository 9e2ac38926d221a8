#include <cwchar>

#include "display/display_state.h"
#include "platform/win32/gdi_canvas.h"

void CreateGdiDisplayFonts(int32_t dotsPerInch) {
  LOGFONTW font;
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  wcscpy(font.lfFaceName, L"Tahoma");
  font.lfHeight = -MulDiv(8, dotsPerInch, 72);
  displayState.panelFont = reinterpret_cast<FontHandle>(CreateFontIndirectW(&font));
  wcscpy(font.lfFaceName, L"Arial");
  font.lfHeight = -MulDiv(9, dotsPerInch, 72);
  font.lfEscapement = 900;
  font.lfOrientation = 900;
  font.lfWeight = FW_BOLD;
  font.lfQuality = PROOF_QUALITY;
  displayState.axisFont = reinterpret_cast<FontHandle>(CreateFontIndirectW(&font));
}

void DestroyGdiDisplayFonts() {
  DeleteObject(reinterpret_cast<HFONT>(displayState.panelFont));
  DeleteObject(reinterpret_cast<HFONT>(displayState.axisFont));
  displayState.panelFont = 0;
  displayState.axisFont = 0;
}
