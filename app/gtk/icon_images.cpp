#include "app/gtk/icon_images.h"

#include <cairo.h>

namespace {
uint32_t Read16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Read32(const std::vector<uint8_t>& b, size_t at) {
  return Read16(b, at) | (Read16(b, at + 2) << 16);
}
}  // namespace

bool DecodeIconImages(const std::vector<uint8_t>& file, std::vector<IconImage>* images) {
  images->clear();
  if (file.size() < 6 || Read16(file, 0) != 0 || Read16(file, 2) != 1) return false;
  const size_t count = Read16(file, 4);
  if (file.size() < 6 + 16 * count) return false;
  for (size_t entry = 0; entry < count; ++entry) {
    const size_t at = 6 + 16 * entry;
    const uint64_t bytes = Read32(file, at + 8), offset = Read32(file, at + 12);
    if (offset + bytes > file.size() || bytes < 40) return false;
    const int32_t width = static_cast<int32_t>(Read32(file, offset + 4));
    const int32_t doubleHeight = static_cast<int32_t>(Read32(file, offset + 8));
    const uint32_t bits = Read16(file, offset + 14), compression = Read32(file, offset + 16);
    // The header's height counts the colour rows and the mask rows.
    if (Read32(file, offset) != 40 || width <= 0 || width > 1024 || doubleHeight != 2 * width) return false;
    if (bits != 32 || compression != 0) continue;
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 4;
    if (40 + rowBytes * width > bytes) return false;
    IconImage image{width, std::vector<uint32_t>(static_cast<size_t>(width) * width)};
    for (int32_t y = 0; y < width; ++y) {
      const size_t row = offset + 40 + (width - 1 - y) * rowBytes;  // bottom row first in the file
      for (int32_t x = 0; x < width; ++x) {
        const size_t p = row + 4 * x;  // blue, green, red, alpha
        image.pixels[y * width + x] = static_cast<uint32_t>(file[p + 3]) << 24 | file[p + 2] << 16 |
                                      file[p + 1] << 8 | file[p];
      }
    }
    images->push_back(std::move(image));
  }
  return !images->empty();
}

bool WriteIconPng(const IconImage& image, const std::string& path) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.size, image.size);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  // Cairo keeps its colours premultiplied by alpha.
  for (int y = 0; y < image.size; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + y * stride);
    for (int x = 0; x < image.size; ++x) {
      const uint32_t p = image.pixels[y * image.size + x], a = p >> 24;
      const uint32_t r = ((p >> 16) & 255) * a / 255, g = ((p >> 8) & 255) * a / 255, b = (p & 255) * a / 255;
      row[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return written;
}
