#include "app/client_picture.h"

#include "display/client_area.h"
#include "platform/cairo/cairo_canvas.h"

void PaintClientPicture(cairo_t* cr, int32_t width, int32_t height) {
  const Rect client = {0, 0, width, height};
  Canvas canvas = BeginCairoCanvas(cr);
  EraseClientBackground(canvas, client);
  PaintClientArea(canvas, client);
  EndCairoCanvas(canvas);
}

cairo_surface_t* PaintClientPictureImage(int32_t width, int32_t height) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return nullptr;
  }
  cairo_t* cr = cairo_create(image);
  PaintClientPicture(cr, width, height);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  return image;
}
