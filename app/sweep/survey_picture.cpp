#include "app/sweep/survey_picture.h"

#include "app/screenshot_file.h"
#include "platform/cairo/cairo_canvas.h"

bool WriteSurveyPicture(FileHandle file, const char* path, int32_t width, int32_t height, const SurveyChartData& data) {
  cairo_surface_t* image = nullptr;
  if (width > 0 && height > 0) {
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
  PaintSurveyChart(canvas, Rect{0, 0, width, height}, data);
  EndCairoCanvas(canvas);
  cairo_destroy(cr);
  DestroyDisplayFonts();
  cairo_surface_flush(image);

  const PixelRows rows = {cairo_image_surface_get_data(image), width, height, cairo_image_surface_get_stride(image)};
  const bool written = WriteBmpFile(file, path, rows);
  cairo_surface_destroy(image);
  return written;
}
