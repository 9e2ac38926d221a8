// The program's icon for the Linux desktop: the 32-bit images of the Windows
// program's icon file, decoded into plain pixels, and their PNG files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One square image, the top row first, each pixel 0xAARRGGBB (alpha not
// premultiplied).
struct IconImage {
  int size;
  std::vector<uint32_t> pixels;
};

// The 32-bit-per-pixel images of an .ico file (ICONDIR, ICONDIRENTRY list,
// BITMAPINFOHEADER images with their colour rows bottom-up), in file order.
// Images of other depths are skipped. False when the file is not a well-formed
// icon file or holds no 32-bit image.
bool DecodeIconImages(const std::vector<uint8_t>& file, std::vector<IconImage>* images);

// Writes image as a PNG; false on failure.
bool WriteIconPng(const IconImage& image, const std::string& path);
