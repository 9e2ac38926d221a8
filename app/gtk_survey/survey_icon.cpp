#include "app/gtk_survey/survey_icon.h"

namespace {
// A curve falling in three steps, the cache levels, at heights given as
// fractions of the plot (top first).
void Curve(cairo_t* cr, double size, const double heights[3], double red, double green, double blue) {
  const double left = 0.14 * size, right = 0.88 * size, top = 0.16 * size, bottom = 0.84 * size;
  const double step = (right - left) / 3;
  cairo_move_to(cr, left, top + heights[0] * (bottom - top));
  for (int level = 0; level < 3; ++level) {
    const double y = top + heights[level] * (bottom - top);
    cairo_line_to(cr, left + step * (level + 0.75), y);
    if (level < 2) cairo_line_to(cr, left + step * (level + 1.05), top + heights[level + 1] * (bottom - top));
  }
  cairo_line_to(cr, right, top + heights[2] * (bottom - top));
  cairo_set_source_rgb(cr, red, green, blue);
  cairo_stroke(cr);
}
}  // namespace

cairo_surface_t* DrawSurveyIcon(int size) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(image);
  const double s = size;
  // A rounded light square with a dark frame.
  const double r = 0.16 * s, inset = 0.04 * s;
  cairo_new_sub_path(cr);
  cairo_arc(cr, s - inset - r, inset + r, r, -1.5708, 0);
  cairo_arc(cr, s - inset - r, s - inset - r, r, 0, 1.5708);
  cairo_arc(cr, inset + r, s - inset - r, r, 1.5708, 3.14159);
  cairo_arc(cr, inset + r, inset + r, r, 3.14159, 4.71239);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.97, 0.97, 0.95);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, s < 32 ? 1.0 : s / 24);
  cairo_set_source_rgb(cr, 0.25, 0.27, 0.33);
  cairo_stroke(cr);
  // The size axis and the curves: read, write, copy.
  cairo_set_line_width(cr, s < 24 ? 1.5 : s / 14);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  const double read[3] = {0.0, 0.35, 0.8}, write[3] = {0.2, 0.5, 0.9}, copy[3] = {0.35, 0.62, 0.95};
  Curve(cr, s, copy, 0.15, 0.6, 0.2);
  Curve(cr, s, write, 0.85, 0.2, 0.15);
  Curve(cr, s, read, 0.1, 0.3, 0.85);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  return image;
}
