#include "app/sweep/picture.h"

#include "app/client_picture.h"
#include "app/screenshot_file.h"
#include "platform/cairo/cairo_canvas.h"

bool WriteWindowPicture(FileHandle file, const char* path, int32_t width, int32_t height) {
  CreateDisplayFonts(96);
  cairo_surface_t* image = PaintClientPictureImage(width, height);
  DestroyDisplayFonts();
  if (image == nullptr) {
    CloseFile(file);
    RemoveFile(path);
    return false;
  }
  const PixelRows rows = {cairo_image_surface_get_data(image), width, height, cairo_image_surface_get_stride(image)};
  const bool written = WriteBmpFile(file, path, rows);
  cairo_surface_destroy(image);
  return written;
}
