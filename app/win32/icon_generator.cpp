// Writes the program's icon file: a small transfer-rate chart (three stepped
// curves on a black plot with a dark green grid), drawn at 16, 24, 32 and
// 48 pixels, each size once with a 256-colour palette and once as 32-bit
// colour with alpha, in that order. A host program run by the build; its
// output depends on nothing but this code, so every build gives the same bytes.
//
// usage: icon_generator OUTPUT.ico
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

// Palette indices; the 8-bit images use these as their first colours.
enum Ink : uint8_t { kBlack, kFrame, kGrid, kRead, kWrite, kCopy, kInkCount };
const Rgb kInks[kInkCount] = {
    {0, 0, 0}, {128, 128, 128}, {0, 80, 0}, {255, 200, 0}, {255, 0, 0}, {0, 200, 255},
};

// One image: an ink per pixel (top row first) and a transparency mask.
struct Picture {
  int size;
  std::vector<uint8_t> ink;
  std::vector<bool> transparent;
  void Set(int x, int y, Ink value) {
    if (x >= 0 && y >= 0 && x < size && y < size) ink[y * size + x] = value;
  }
};

// A line from (x0, y0) to (x1, y1), both ends included, one pixel per step of
// the major axis.
void Line(Picture& picture, int x0, int y0, int x1, int y1, Ink value) {
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (;;) {
    picture.Set(x0, y0, value);
    if (x0 == x1 && y0 == y1) break;
    const int twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x0 += sx;
    }
    if (twice <= dx) {
      error += dx;
      y0 += sy;
    }
  }
}

Picture Draw(int size) {
  Picture picture{size, std::vector<uint8_t>(size * size, kBlack), std::vector<bool>(size * size, false)};
  const int last = size - 1;
  // Frame and rounded-off corners.
  for (int i = 0; i < size; ++i) {
    picture.Set(i, 0, kFrame);
    picture.Set(i, last, kFrame);
    picture.Set(0, i, kFrame);
    picture.Set(last, i, kFrame);
  }
  for (int corner : {0, last * size, last, last * size + last}) picture.transparent[corner] = true;
  // Grid: three lines across each axis.
  for (int k = 1; k <= 3; ++k) {
    const int at = k * size / 4;
    Line(picture, 1, at, last - 1, at, kGrid);
    Line(picture, at, 1, at, last - 1, kGrid);
  }
  // Curves: fast in the first cache, slower in the second, slowest in memory.
  // Heights in 1/100 of the picture, steps at 35 % and 60 % of the width.
  const int levels[3][3] = {{18, 44, 68}, {30, 56, 76}, {42, 66, 84}};
  const Ink inks[3] = {kRead, kWrite, kCopy};
  const int thickness = size >= 32 ? 2 : 1;
  const int step1 = size * 35 / 100, step2 = size * 60 / 100, slope = size / 12 + 1;
  for (int curve = 0; curve < 3; ++curve) {
    int y[3];
    for (int level = 0; level < 3; ++level) y[level] = levels[curve][level] * size / 100;
    for (int t = 0; t < thickness; ++t) {
      Line(picture, 1, y[0] + t, step1, y[0] + t, inks[curve]);
      Line(picture, step1, y[0] + t, step1 + slope, y[1] + t, inks[curve]);
      Line(picture, step1 + slope, y[1] + t, step2, y[1] + t, inks[curve]);
      Line(picture, step2, y[1] + t, step2 + slope, y[2] + t, inks[curve]);
      Line(picture, step2 + slope, y[2] + t, last - 1, y[2] + t, inks[curve]);
    }
  }
  for (int i = 0; i < size * size; ++i)
    if (picture.transparent[i]) picture.ink[i] = kBlack;
  return picture;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One icon image: BITMAPINFOHEADER (twice the height: colour and mask), the
// palette of an 8-bit image, the colour rows and the mask rows, bottom-up,
// each row filled up to a multiple of 4 bytes.
std::vector<uint8_t> EncodeImage(const Picture& picture, int bitsPerPixel) {
  const int size = picture.size;
  const int colourRow = (size * bitsPerPixel + 31) / 32 * 4;
  const int maskRow = (size + 31) / 32 * 4;
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, size);
  Put32(out, 2 * size);
  Put16(out, 1);
  Put16(out, bitsPerPixel);
  Put32(out, 0);  // BI_RGB
  Put32(out, (colourRow + maskRow) * size);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);  // all 256 palette entries for 8 bits
  Put32(out, 0);
  if (bitsPerPixel == 8) {
    for (int i = 0; i < 256; ++i) {
      const Rgb colour = i < kInkCount ? kInks[i] : Rgb{0, 0, 0};
      out.insert(out.end(), {colour.b, colour.g, colour.r, 0});
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    const size_t start = out.size();
    for (int x = 0; x < size; ++x) {
      const int i = y * size + x;
      if (bitsPerPixel == 8) {
        out.push_back(picture.ink[i]);
      } else {
        const Rgb colour = kInks[picture.ink[i]];
        out.insert(out.end(), {colour.b, colour.g, colour.r, static_cast<uint8_t>(picture.transparent[i] ? 0 : 255)});
      }
    }
    out.resize(start + colourRow, 0);
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskRow, 0);
    for (int x = 0; x < size; ++x)
      if (picture.transparent[y * size + x]) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: icon_generator OUTPUT.ico\n");
    return 2;
  }
  struct Entry {
    int size, bits;
    std::vector<uint8_t> data;
  };
  std::vector<Entry> entries;
  for (int size : {16, 24, 32, 48}) {
    const Picture picture = Draw(size);
    for (int bits : {8, 32}) entries.push_back(Entry{size, bits, EncodeImage(picture, bits)});
  }
  // ICONDIR, one ICONDIRENTRY per image, then the images.
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(entries.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(entries.size());
  for (const Entry& entry : entries) {
    file.push_back(static_cast<uint8_t>(entry.size));
    file.push_back(static_cast<uint8_t>(entry.size));
    file.push_back(0);  // colour count: 0 for 256 colours and more
    file.push_back(0);
    Put16(file, 1);
    Put16(file, entry.bits);
    Put32(file, static_cast<uint32_t>(entry.data.size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(entry.data.size());
  }
  for (const Entry& entry : entries) file.insert(file.end(), entry.data.begin(), entry.data.end());

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "icon_generator: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
