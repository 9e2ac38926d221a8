// Pictures through a Cairo image surface, written as BMP or PNG; SVG and PDF
// are refused here.
#include "app/sweep/picture_file.h"

#include <cctype>

#include "app/screenshot_file.h"
#include "platform/cairo/cairo_canvas.h"

bool PictureFormatFromPath(const std::string& path, PictureFormat* format, std::string* error) {
  const size_t dot = path.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "bmp") *format = PictureFormat::Bmp;
  else if (extension == "png") *format = PictureFormat::Png;
  else if (extension == "svg") *format = PictureFormat::Svg;
  else if (extension == "pdf") *format = PictureFormat::Pdf;
  else {
    *error = "'" + path + "': a picture's name ends in .bmp, .png, .svg or .pdf";
    return false;
  }
  return true;
}

namespace {
cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
  return WriteWholeBuffer(*static_cast<FileHandle*>(closure), data, length) ? CAIRO_STATUS_SUCCESS
                                                                           : CAIRO_STATUS_WRITE_ERROR;
}
}  // namespace

bool WritePictureFile(FileHandle file, const char* path, PictureFormat format, int32_t width, int32_t height,
                      PaintPictureFn paint, const void* context) {
  cairo_surface_t* image = nullptr;
  const bool raster = format == PictureFormat::Bmp || format == PictureFormat::Png;
  if (raster && width > 0 && height > 0) {
    image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(image);
      image = nullptr;
    }
  }
  if (image == nullptr) {
    CloseFile(file);
    RemoveFile(path);
    return false;
  }
  CreateDisplayFonts(96);
  cairo_t* cr = cairo_create(image);
  Canvas canvas = BeginCairoCanvas(cr);
  paint(canvas, Rect{0, 0, width, height}, context);
  EndCairoCanvas(canvas);
  cairo_destroy(cr);
  DestroyDisplayFonts();
  cairo_surface_flush(image);

  bool written = false;
  if (format == PictureFormat::Bmp) {
    const PixelRows rows = {cairo_image_surface_get_data(image), width, height, cairo_image_surface_get_stride(image)};
    written = WriteBmpFile(file, path, rows);  // closes the file, removes it on failure
  } else {
    written = cairo_surface_write_to_png_stream(image, WriteToFile, &file) == CAIRO_STATUS_SUCCESS;
    written = CloseFile(file) && written;
    if (!written) RemoveFile(path);
  }
  cairo_surface_destroy(image);
  return written;
}
