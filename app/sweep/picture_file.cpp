#include "app/sweep/picture_file.h"

#include <cctype>
#include <vector>

#include "app/screenshot_file.h"
#include "app/sweep/options.h"
#include "display/display_state.h"
#ifdef _WIN32
#include "platform/win32/gdi_canvas.h"
#include "platform/win32/gdi_picture.h"
#include "platform/win32/wic_png.h"
#else
#include "platform/cairo/cairo_canvas.h"
#include "platform/cairo/cairo_picture.h"
#endif

namespace {

// The pictures are drawn for a screen of 96 dots per inch, the fonts' size on
// a default desktop.
constexpr int32_t kPictureDotsPerInch = 96;

// Closes file and keeps it when it was written completely, else removes it.
bool CloseWritten(FileHandle file, const char* path, bool written) {
  const bool closed = CloseFile(file);
  if (!written || !closed) RemoveFile(path);
  return written && closed;
}

#ifdef _WIN32
// GDI paints into a DIB section; the portable writer makes the BMP, WIC the
// PNG. SVG and PDF have no writer here (the tool refuses them before measuring).
bool PaintAndWrite(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                   PaintPictureFn paint, const void* context) {
  std::vector<uint8_t> pixels;
  const bool painted = (format == PictureFormat::Bmp || format == PictureFormat::Png) &&
                       PaintGdiImage(width, height, paint, context, &pixels);
  if (painted && format == PictureFormat::Bmp)
    return WriteBmpFile(file, path, PixelRows{pixels.data(), width, height, width * 4});
  std::vector<uint8_t> png;
  const bool encoded = painted && EncodeWicPng(pixels.data(), width, height, width * 4, &png);
  const bool written =
      encoded && png.size() <= UINT32_MAX && WriteWholeBuffer(file, png.data(), static_cast<uint32_t>(png.size()));
  return CloseWritten(file, path, written);
}
#else
// Cairo: the documents straight from its SVG and PDF surfaces; the pixel
// formats from one image, the BMP by the portable writer, the PNG by Cairo.
bool PaintAndWrite(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                   PaintPictureFn paint, const void* context) {
  if (format == PictureFormat::Svg || format == PictureFormat::Pdf) {
    const CairoDocument kind = format == PictureFormat::Svg ? CairoDocument::Svg : CairoDocument::Pdf;
    return CloseWritten(file, path, WriteCairoDocument(kind, width, height, paint, context, file));
  }
  cairo_surface_t* image = PaintCairoImage(width, height, paint, context);
  bool written = false;
  if (image == nullptr) {
    written = CloseWritten(file, path, false);
  } else if (format == PictureFormat::Bmp) {
    const PixelRows rows = {cairo_image_surface_get_data(image), width, height, cairo_image_surface_get_stride(image)};
    written = WriteBmpFile(file, path, rows);
  } else {
    written = CloseWritten(file, path, WriteCairoPng(image, file));
  }
  cairo_surface_destroy(image);
  return written;
}
#endif

}  // namespace

bool PictureFormatFromPath(const std::string& path, PictureFormat* format, std::string* error) {
  static const struct {
    const char* extension;
    PictureFormat format;
  } kExtensions[] = {{".bmp", PictureFormat::Bmp}, {".png", PictureFormat::Png}, {".svg", PictureFormat::Svg},
                     {".pdf", PictureFormat::Pdf}};
  const size_t dot = path.find_last_of("./\\");
  std::string extension = dot != std::string::npos && path[dot] == '.' ? path.substr(dot) : std::string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& known : kExtensions) {
    if (extension == known.extension) {
      *format = known.format;
      return true;
    }
  }
  *error = "--picture names its format by the extension .png, .svg, .pdf or .bmp, not '" + path + "'";
  return false;
}

bool PictureFormatWritable(PictureFormat format, std::string* error) {
#ifdef _WIN32
  if (format == PictureFormat::Svg || format == PictureFormat::Pdf) {
    *error = "--picture writes .png or .bmp on Windows; SVG and PDF need the Linux build";
    return false;
  }
#endif
  (void)format;
  (void)error;
  return true;
}

bool WritePictureFile(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                      PaintPictureFn paint, const void* context) {
  // The picture has fonts of its own resolution; a window's fonts, when a
  // window saves its picture, are set aside and back in use afterwards.
  const FontHandle windowPanelFont = displayState.panelFont, windowAxisFont = displayState.axisFont;
  displayState.panelFont = 0;
  displayState.axisFont = 0;
#ifdef _WIN32
  CreateGdiDisplayFonts(kPictureDotsPerInch);
#else
  CreateDisplayFonts(kPictureDotsPerInch);
#endif
  const bool written = PaintAndWrite(file, path, format, width, height, paint, context);
#ifdef _WIN32
  DestroyGdiDisplayFonts();
#else
  DestroyDisplayFonts();
#endif
  displayState.panelFont = windowPanelFont;
  displayState.axisFont = windowAxisFont;
  return written;
}

bool ParsePictureOptions(const std::string& path, const std::string& sizeText, PictureFormat* format, int32_t* width,
                         int32_t* height, std::string* error) {
  if (!path.empty() && !PictureFormatFromPath(path, format, error)) return false;
  if (!sizeText.empty() && !ParsePictureSize(sizeText.c_str(), width, height)) {
    *error = "--size takes WIDTHxHEIGHT in pixels, each 1 to " + std::to_string(kMaxPictureSide) + ", not '" +
             sizeText + "'";
    return false;
  }
  return true;
}
