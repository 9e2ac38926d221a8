// Pictures of the headless tool written to a file in the format its name asks for.
#pragma once
#include <cstdint>
#include <string>

#include "display/canvas.h"
#include "platform/os.h"

enum class PictureFormat { Bmp, Png, Svg, Pdf };
// The format named by a path's extension (.bmp .png .svg .pdf, any letter case); false with one line for any other.
bool PictureFormatFromPath(const std::string& path, PictureFormat* format, std::string* error);
using PaintPictureFn = void (*)(Canvas& canvas, Rect area, const void* context);
// Creates the display fonts, paints width x height through paint(context), writes the file in the format, closes it; on failure removes it and returns false.
bool WritePictureFile(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height, PaintPictureFn paint, const void* context);
