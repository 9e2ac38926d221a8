// Off-screen pictures through the GDI canvas: painted into a 32-bit top-down
// DIB section on a memory device context. The display fonts must exist while
// painting (CreateGdiDisplayFonts).
#pragma once
#include <cstdint>
#include <vector>

#include "display/canvas.h"

// Paints width x height through paint(context) and copies the pixels out:
// 32-bit 0x00RRGGBB values (blue, green, red, 0 in memory), the top row
// first, width * 4 bytes a row. False when no bitmap can be made.
bool PaintGdiImage(int32_t width, int32_t height, PaintPictureFn paint, const void* context,
                   std::vector<uint8_t>* pixels);
