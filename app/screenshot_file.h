// Screenshot files: a picture of the main window's client area as an
// uncompressed 24-bit bottom-up BMP (BITMAPFILEHEADER, BITMAPINFOHEADER, no
// colour table), always in a new file: an existing file is never opened,
// overwritten or appended to. Portable: every front end hands over its pixels
// in one common layout and the files come out byte for byte the same.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"

// The pixels to save: height rows of width pixels, the top row first, rows
// rowStride bytes apart. Each pixel is a 32-bit 0x00RRGGBB value in the
// machine's byte order (the layout of a Cairo RGB24/ARGB32 image and of a
// 32-bit top-down DIB on x86); the top byte is ignored.
struct PixelRows {
  const uint8_t* pixels;
  int32_t width;
  int32_t height;
  int32_t rowStride;
};

constexpr uint32_t kBmpHeaderSize = 54;  // 14-byte file header + 40-byte info header

// Bytes of pixel data: width * 3 bytes per row filled up to a multiple of 4,
// times the height, i.e. ((width * 24 + 31) / 32) * 4 * height. 64-bit, so a
// caller can refuse a picture too large for the 32-bit size fields.
uint64_t BmpImageSize(int32_t width, int32_t height);

// The two headers for a width x height picture (width, height > 0): "BM",
// bfSize = 54 + image size, bfOffBits = 54, biSize = 40, a positive biHeight
// (bottom-up rows), 1 plane, 24 bits, BI_RGB, biSizeImage = image size, and
// zero resolution and colour counts. Little-endian on every host.
void BuildBmpHeaders(int32_t width, int32_t height, uint8_t header[kBmpHeaderSize]);

// The pixel data: the bottom row first, each pixel as blue, green, red, each
// row zero-filled up to a multiple of 4 bytes.
std::vector<uint8_t> BuildBmpPixelData(const PixelRows& rows);

// The write that WriteBmpFile uses (WriteWholeBuffer); tests point it at one
// that fails to simulate a full disk.
extern bool (*writePictureBytes)(FileHandle file, const void* bytes, uint32_t byteCount);

// Writes the picture into file, which the caller has just created at path,
// as three writes (file header, info header, pixel data), and closes it.
// When a write or the close fails, or the picture is empty or too large for
// a BMP's 32-bit sizes, the file is closed and removed, so no truncated
// picture is left behind, and the result is false.
bool WriteBmpFile(FileHandle file, const char* path, const PixelRows& rows);

// Creates the first of "stem-0.extension", "stem-1.extension", ... in the
// working directory that does not exist yet: an existing name moves on to
// the next number, any other failure ends the search. The search starts at 0
// each time, so a gap left by a removed file is filled first. Returns
// FileCreated with the open file and its name, or FileFailed.
CreateFileResult CreateNumberedFile(const std::string& stem, const std::string& extension, FileHandle* file,
                                    std::string* name);
// The screenshots' numbered files: screenshot-0.bmp, screenshot-1.bmp, ...
CreateFileResult CreateNumberedScreenshotFile(FileHandle* file, std::string* name);

// The screenshot command: the picture into the next numbered file. True with
// the file's name once it is complete; false with no file left on failure.
bool SaveScreenshotFile(const PixelRows& rows, std::string* name);
