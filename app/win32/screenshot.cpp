// The screenshot command's capture: the window's client area as shown, copied
// through a memory DC and converted to a device-independent bitmap, then
// written by the portable BMP writer.
#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "app/screenshot_file.h"
#include "app/win32/dialog.h"

void SaveScreenshot(HDC dc) {
  // The file first: when none can be created there is nothing to capture for.
  FileHandle file = -1;
  std::string name;
  if (CreateNumberedScreenshotFile(&file, &name) != FileCreated) return;

  RECT client{0, 0, 0, 0};
  GetClientRect(WindowFromDC(dc), &client);
  const int width = client.right;
  const int height = client.bottom;

  const HDC memoryDc = CreateCompatibleDC(dc);
  const HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
  const HGDIOBJ previous = SelectObject(memoryDc, bitmap);
  BitBlt(memoryDc, 0, 0, width, height, dc, 0, 0, SRCCOPY);
  // A bitmap GetDIBits reads must not be selected into any DC.
  SelectObject(memoryDc, previous);

  // The pixels as 32-bit top-down rows, the layout the writer takes; it
  // stores them as the 24-bit bottom-up rows of the file.
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), nullptr, &info, DIB_RGB_COLORS);
  const uint64_t rowBytes = static_cast<uint64_t>(width > 0 ? width : 0) * 4;
  uint64_t imageSize = info.bmiHeader.biSizeImage;
  if (imageSize == 0) imageSize = rowBytes * static_cast<uint64_t>(height > 0 ? height : 0);

  bool captured = false;
  std::unique_ptr<uint8_t[]> pixels;
  if (imageSize >= rowBytes * static_cast<uint64_t>(height > 0 ? height : 0) && imageSize <= SIZE_MAX) {
    pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(imageSize)]);
  }
  if (pixels != nullptr && width > 0 && height > 0) {
    info.bmiHeader.biCompression = BI_RGB;
    captured = GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.get(), &info, DIB_RGB_COLORS) != 0;
  }
  if (captured) {
    // The writer closes the file and removes it when a write fails.
    WriteBmpFile(file, name.c_str(), PixelRows{pixels.get(), width, height, width * 4});
  } else {
    // No picture (no memory, an empty client area, a failed conversion):
    // no file either.
    CloseFile(file);
    RemoveFile(name.c_str());
  }
  DeleteObject(bitmap);
  DeleteDC(memoryDc);
}
