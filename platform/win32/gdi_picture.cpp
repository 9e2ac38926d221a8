#include "platform/win32/gdi_picture.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/gdi_canvas.h"

bool PaintGdiImage(int32_t width, int32_t height, PaintPictureFn paint, const void* context,
                   std::vector<uint8_t>* pixels) {
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC dc = CreateCompatibleDC(nullptr);
  const HBITMAP bitmap = dc != nullptr ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  const bool made = bitmap != nullptr && bits != nullptr;
  if (made) {
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    GdiCanvasState state;
    Canvas canvas = BeginGdiCanvas(dc, &state);
    paint(canvas, Rect{0, 0, width, height}, context);
    EndGdiCanvas(canvas);
    SelectObject(dc, previous);
    GdiFlush();  // GDI may batch drawing; the bits are complete only after this
    const size_t size = static_cast<size_t>(width) * 4 * static_cast<size_t>(height);
    pixels->resize(size);
    std::memcpy(pixels->data(), bits, size);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (dc != nullptr) DeleteDC(dc);
  return made;
}
