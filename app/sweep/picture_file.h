// The headless tool's picture files: the format named by the file's
// extension, and the picture painted off-screen and written in it. Linux
// draws through Cairo (BMP, PNG, SVG, PDF); Windows through GDI, with PNG
// encoded by the Windows Imaging Component (BMP, PNG).
#pragma once
#include <cstdint>
#include <string>

#include "display/canvas.h"
#include "platform/os.h"

enum class PictureFormat { Bmp, Png, Svg, Pdf };

// The format named by a path's extension (.bmp .png .svg .pdf, any letter
// case); false with one line for the user in error for any other.
bool PictureFormatFromPath(const std::string& path, PictureFormat* format, std::string* error);

// The picture options of a mode: the format of path (when given; else *format
// is left as it is, for the numbered default name) and the size "WxH" (when
// given). False with one line for the user in error.
bool ParsePictureOptions(const std::string& path, const std::string& sizeText, PictureFormat* format, int32_t* width,
                         int32_t* height, std::string* error);

// True when this build can write format; else false with one line in error.
bool PictureFormatWritable(PictureFormat format, std::string* error);

// Creates the display fonts, paints width x height through paint(context),
// writes the file in format into file, just created at path, and closes it;
// destroys the fonts. On any failure the file is removed and the result is
// false.
bool WritePictureFile(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                      PaintPictureFn paint, const void* context);
