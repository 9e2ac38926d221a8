#include "app/screenshot_file.h"

#include <climits>
#include <cstring>

bool (*writePictureBytes)(FileHandle file, const void* bytes, uint32_t byteCount) = WriteWholeBuffer;

namespace {

void Put16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t BmpRowSize(int32_t width) { return (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4; }

// A picture whose file size fits the 32-bit bfSize field.
bool Storable(int32_t width, int32_t height) {
  return width > 0 && height > 0 && BmpImageSize(width, height) <= UINT32_MAX - kBmpHeaderSize;
}

}  // namespace

uint64_t BmpImageSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return BmpRowSize(width) * static_cast<uint64_t>(height);
}

void BuildBmpHeaders(int32_t width, int32_t height, uint8_t header[kBmpHeaderSize]) {
  const uint32_t imageSize = static_cast<uint32_t>(BmpImageSize(width, height));
  std::memset(header, 0, kBmpHeaderSize);
  // BITMAPFILEHEADER
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, kBmpHeaderSize + imageSize);  // bfSize
  Put32(header + 10, kBmpHeaderSize);             // bfOffBits: no colour table
  // BITMAPINFOHEADER
  Put32(header + 14, 40);  // biSize
  Put32(header + 18, static_cast<uint32_t>(width));
  Put32(header + 22, static_cast<uint32_t>(height));  // positive: bottom-up rows
  Put16(header + 26, 1);                              // biPlanes
  Put16(header + 28, 24);                             // biBitCount
  Put32(header + 30, 0);                              // BI_RGB
  Put32(header + 34, imageSize);                      // biSizeImage
  // Resolution and colour counts stay 0.
}

std::vector<uint8_t> BuildBmpPixelData(const PixelRows& rows) {
  const size_t rowSize = static_cast<size_t>(BmpRowSize(rows.width));
  std::vector<uint8_t> data(static_cast<size_t>(BmpImageSize(rows.width, rows.height)), 0);
  for (int32_t y = 0; y < rows.height; ++y) {
    // File row 0 is the picture's bottom row.
    const uint8_t* source = rows.pixels + static_cast<size_t>(rows.height - 1 - y) * rows.rowStride;
    uint8_t* target = data.data() + static_cast<size_t>(y) * rowSize;
    for (int32_t x = 0; x < rows.width; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, source + static_cast<size_t>(x) * 4, 4);
      target[0] = static_cast<uint8_t>(pixel);        // blue
      target[1] = static_cast<uint8_t>(pixel >> 8);   // green
      target[2] = static_cast<uint8_t>(pixel >> 16);  // red
      target += 3;
    }
  }
  return data;
}

bool WriteBmpFile(FileHandle file, const char* path, const PixelRows& rows) {
  bool written = false;
  if (Storable(rows.width, rows.height)) {
    uint8_t header[kBmpHeaderSize];
    BuildBmpHeaders(rows.width, rows.height, header);
    const std::vector<uint8_t> data = BuildBmpPixelData(rows);
    written = writePictureBytes(file, header, 14) && writePictureBytes(file, header + 14, 40) &&
              writePictureBytes(file, data.data(), static_cast<uint32_t>(data.size()));
  }
  // A close can fail too (data that the system could not flush): only a
  // picture that is complete on disk stays.
  const bool closed = CloseFile(file);
  if (written && closed) return true;
  RemoveFile(path);
  return false;
}

CreateFileResult CreateNumberedFile(const std::string& stem, const std::string& extension, FileHandle* file,
                                    std::string* name) {
  for (int32_t n = 0;; ++n) {
    const std::string candidate = stem + "-" + std::to_string(n) + "." + extension;
    const CreateFileResult result = CreateNewFile(candidate.c_str(), file);
    if (result == FileCreated) {
      *name = candidate;
      return FileCreated;
    }
    if (result != FileExists || n == INT32_MAX) break;
  }
  *file = -1;
  return FileFailed;
}

CreateFileResult CreateNumberedScreenshotFile(FileHandle* file, std::string* name) {
  return CreateNumberedFile("screenshot", "bmp", file, name);
}

bool SaveScreenshotFile(const PixelRows& rows, std::string* name) {
  FileHandle file = -1;
  std::string created;
  if (CreateNumberedScreenshotFile(&file, &created) != FileCreated) return false;
  if (!WriteBmpFile(file, created.c_str(), rows)) return false;
  *name = created;
  return true;
}
