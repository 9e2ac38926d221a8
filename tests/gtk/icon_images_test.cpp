// The desktop icon: decoding the icon file's 32-bit images and writing them
// as PNG files.
#include "app/gtk/icon_images.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One icon image: header, (palette), colour rows bottom-up, mask rows.
std::vector<uint8_t> Image(int size, int bits, const std::vector<uint32_t>& topDownArgb) {
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, size);
  Put32(out, 2 * size);
  Put16(out, 1);
  Put16(out, bits);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  if (bits == 8) out.resize(out.size() + 1024, 0);
  const int colourRow = (size * bits + 31) / 32 * 4, maskRow = (size + 31) / 32 * 4;
  for (int y = size - 1; y >= 0; --y) {
    const size_t start = out.size();
    for (int x = 0; x < size; ++x) {
      const uint32_t p = topDownArgb[y * size + x];
      if (bits == 32) {
        out.insert(out.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)});
      } else {
        out.push_back(1);
      }
    }
    out.resize(start + colourRow, 0);
  }
  out.resize(out.size() + maskRow * size, 0);
  return out;
}

std::vector<uint8_t> IconFile(const std::vector<std::vector<uint8_t>>& images, const std::vector<int>& sizes) {
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.insert(file.end(), {uint8_t(sizes[i]), uint8_t(sizes[i]), 0, 0});
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

const std::vector<uint32_t> kTwoByTwo = {0xFFFF0000, 0x8000FF00,   // top row: opaque red, half green
                                         0x000000FF, 0xFF123456};  // bottom row: clear blue, opaque

TEST(IconImages, ThirtyTwoBitImagesDecodeTopRowFirstAndOthersAreSkipped) {
  const std::vector<uint32_t> grey(3 * 3, 0xFF808080);
  const std::vector<uint8_t> file = IconFile({Image(3, 8, grey), Image(2, 32, kTwoByTwo)}, {3, 2});
  std::vector<IconImage> images;
  ASSERT_TRUE(DecodeIconImages(file, &images));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].size, 2);
  EXPECT_EQ(images[0].pixels, kTwoByTwo);
}

TEST(IconImages, MalformedFilesAreRefused) {
  const std::vector<uint8_t> good = IconFile({Image(2, 32, kTwoByTwo)}, {2});
  std::vector<IconImage> images;
  std::vector<uint8_t> truncated(good.begin(), good.end() - 5);
  EXPECT_FALSE(DecodeIconImages(truncated, &images));
  std::vector<uint8_t> cursor = good;
  cursor[2] = 2;  // a cursor file, not an icon
  EXPECT_FALSE(DecodeIconImages(cursor, &images));
  EXPECT_FALSE(DecodeIconImages({}, &images));
  const std::vector<uint8_t> onlyPalette = IconFile({Image(2, 8, kTwoByTwo)}, {2});
  EXPECT_FALSE(DecodeIconImages(onlyPalette, &images));
}

TEST(IconImages, PngKeepsColoursAndTransparency) {
  char path[] = "/tmp/lorvanta-icon-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const IconImage image{2, {0xFFFF0000, 0xFF00FF00, 0x00000000, 0xFF123456}};
  ASSERT_TRUE(WriteIconPng(image, path));
  cairo_surface_t* png = cairo_image_surface_create_from_png(path);
  std::remove(path);
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(png), 2);
  const uint8_t* data = cairo_image_surface_get_data(png);
  const int stride = cairo_image_surface_get_stride(png);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(reinterpret_cast<const uint32_t*>(data + y * stride)[x], image.pixels[y * 2 + x]) << x << "," << y;
  cairo_surface_destroy(png);
}

// The icon file the build draws for the Windows program, as the desktop
// program uses it.
TEST(IconImages, TheProgramIconHasItsFourSizesWithTheCurveColours) {
  const char* path = std::getenv("LORVANTA_ICON_FILE");
  ASSERT_NE(path, nullptr) << "LORVANTA_ICON_FILE names the built icon file";
  std::vector<uint8_t> file;
  FILE* in = std::fopen(path, "rb");
  ASSERT_NE(in, nullptr) << path;
  for (int c; (c = std::fgetc(in)) != EOF;) file.push_back(static_cast<uint8_t>(c));
  std::fclose(in);
  std::vector<IconImage> images;
  ASSERT_TRUE(DecodeIconImages(file, &images));
  ASSERT_EQ(images.size(), 4u);
  const int sizes[] = {16, 24, 32, 48};
  for (size_t i = 0; i < 4; ++i) {
    const int size = images[i].size;
    EXPECT_EQ(size, sizes[i]);
    std::set<uint32_t> colours(images[i].pixels.begin(), images[i].pixels.end());
    for (uint32_t curve : {0xFFFFC800u, 0xFFFF0000u, 0xFF00C8FFu})
      EXPECT_EQ(colours.count(curve), 1u) << size << " px: colour " << std::hex << curve;
    EXPECT_EQ(images[i].pixels[0] >> 24, 0u) << "corners are transparent";
    EXPECT_EQ(images[i].pixels[size * size / 2 + size / 2] >> 24, 255u) << "the middle is opaque";
  }
}

}  // namespace
