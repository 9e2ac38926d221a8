#include "platform/cairo/cairo_picture.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include "platform/cairo/cairo_canvas.h"

namespace {

// Where Cairo's stream writers put the bytes: the file, until a write fails.
struct FileStream {
  FileHandle file;
  bool failed;
};

cairo_status_t WriteToFile(void* closure, const unsigned char* bytes, unsigned int length) {
  FileStream* stream = static_cast<FileStream*>(closure);
  if (!stream->failed && !WriteWholeBuffer(stream->file, bytes, length)) stream->failed = true;
  return stream->failed ? CAIRO_STATUS_WRITE_ERROR : CAIRO_STATUS_SUCCESS;
}

void Paint(cairo_surface_t* surface, int32_t width, int32_t height, PaintPictureFn paint, const void* context) {
  cairo_t* cr = cairo_create(surface);
  Canvas canvas = BeginCairoCanvas(cr);
  paint(canvas, Rect{0, 0, width, height}, context);
  EndCairoCanvas(canvas);
  cairo_destroy(cr);
}

}  // namespace

cairo_surface_t* PaintCairoImage(int32_t width, int32_t height, PaintPictureFn paint, const void* context) {
  if (width <= 0 || height <= 0) return nullptr;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return nullptr;
  }
  Paint(image, width, height, paint, context);
  cairo_surface_flush(image);
  return image;
}

bool WriteCairoPng(cairo_surface_t* image, FileHandle file) {
  FileStream stream = {file, false};
  return cairo_surface_write_to_png_stream(image, WriteToFile, &stream) == CAIRO_STATUS_SUCCESS && !stream.failed;
}

bool WriteCairoDocument(CairoDocument kind, int32_t width, int32_t height, PaintPictureFn paint, const void* context,
                        FileHandle file) {
  if (width <= 0 || height <= 0) return false;
  FileStream stream = {file, false};
  cairo_surface_t* surface = nullptr;
  if (kind == CairoDocument::Svg) {
    surface = cairo_svg_surface_create_for_stream(WriteToFile, &stream, width, height);
    // Pixels, so that the document's size reads as the picture's.
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
  } else {
    surface = cairo_pdf_surface_create_for_stream(WriteToFile, &stream, width, height);
  }
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) Paint(surface, width, height, paint, context);
  // Finishing writes the rest of the document; its status tells whether all went out.
  cairo_surface_finish(surface);
  const bool written = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS && !stream.failed;
  cairo_surface_destroy(surface);
  return written;
}
