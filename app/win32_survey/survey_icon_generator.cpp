// Writes the survey program's icon file: a rounded light square with a dark
// frame and three curves falling in steps (read blue, write red, copy green),
// the picture the Linux survey program shows, drawn here without a graphics
// library at 16, 24, 32, 48 and 64 pixels as 32-bit colour with alpha. Edges
// are smoothed by sampling each pixel 4 x 4 times. A host program run by the
// build; its output depends on nothing but this code.
//
// usage: survey_icon_generator OUTPUT.ico
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};
const Rgb kFace{0.97, 0.97, 0.95}, kFrame{0.25, 0.27, 0.33};
const Rgb kRead{0.1, 0.3, 0.85}, kWrite{0.85, 0.2, 0.15}, kCopy{0.15, 0.6, 0.2};

struct Segment {
  double x0, y0, x1, y1;
};

double DistanceToSegment(double x, double y, const Segment& s) {
  const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
  const double length2 = dx * dx + dy * dy;
  const double t = length2 == 0 ? 0 : std::clamp(((x - s.x0) * dx + (y - s.y0) * dy) / length2, 0.0, 1.0);
  return std::hypot(x - (s.x0 + t * dx), y - (s.y0 + t * dy));
}

// A curve's segments: three levels at heights given as fractions of the plot
// (top first), each falling to the next over a short slope.
std::vector<Segment> Curve(double size, const double heights[3]) {
  const double left = 0.14 * size, right = 0.88 * size, top = 0.16 * size, bottom = 0.84 * size;
  const double step = (right - left) / 3;
  std::vector<Segment> segments;
  double x = left, y = top + heights[0] * (bottom - top);
  auto to = [&](double nx, double ny) { segments.push_back({x, y, nx, ny}), x = nx, y = ny; };
  for (int level = 0; level < 3; ++level) {
    to(left + step * (level + 0.75), top + heights[level] * (bottom - top));
    if (level < 2) to(left + step * (level + 1.05), top + heights[level + 1] * (bottom - top));
  }
  to(right, y);
  return segments;
}

// How far (x, y) lies inside the rounded square: negative outside.
double InsideRoundedSquare(double x, double y, double size) {
  const double inset = 0.04 * size, radius = 0.16 * size;
  const double lo = inset + radius, hi = size - inset - radius;
  const double cx = std::clamp(x, lo, hi), cy = std::clamp(y, lo, hi);
  return radius - std::hypot(x - cx, y - cy);
}

// The colour and opacity at one sample point.
void Sample(double x, double y, double size, const std::vector<std::vector<Segment>>& curves, Rgb* colour,
            double* alpha) {
  const double inside = InsideRoundedSquare(x, y, size);
  const double frame = size < 32 ? 1.0 : size / 24;
  *alpha = inside >= 0 ? 1 : 0;
  *colour = inside < frame ? kFrame : kFace;
  const double halfWidth = (size < 24 ? 1.5 : size / 14) / 2;
  const Rgb inks[3] = {kCopy, kWrite, kRead};  // drawn in this order, read on top
  for (int c = 0; c < 3; ++c)
    for (const Segment& segment : curves[c])
      if (inside >= 0 && DistanceToSegment(x, y, segment) <= halfWidth) *colour = inks[c];
}

// The image's pixels, 0xAARRGGBB, the top row first.
std::vector<uint32_t> Draw(int size) {
  const double s = size;
  const double read[3] = {0.0, 0.35, 0.8}, write[3] = {0.2, 0.5, 0.9}, copy[3] = {0.35, 0.62, 0.95};
  const std::vector<std::vector<Segment>> curves = {Curve(s, copy), Curve(s, write), Curve(s, read)};
  std::vector<uint32_t> pixels(size * size);
  for (int py = 0; py < size; ++py)
    for (int px = 0; px < size; ++px) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          Rgb colour;
          double alpha;
          Sample(px + (sx + 0.5) / 4, py + (sy + 0.5) / 4, s, curves, &colour, &alpha);
          r += colour.r * alpha, g += colour.g * alpha, b += colour.b * alpha, a += alpha;
        }
      // Colour channels unpremultiplied: the average colour of the covered samples.
      auto channel = [&](double sum) { return a == 0 ? 0u : static_cast<uint32_t>(std::lround(255 * sum / a)); };
      const uint32_t opacity = static_cast<uint32_t>(std::lround(255 * a / 16));
      pixels[py * size + px] = opacity << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
    }
  return pixels;
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
// colour rows and then the mask rows, bottom-up; the mask marks the fully
// transparent pixels for systems that ignore the alpha channel.
std::vector<uint8_t> EncodeImage(const std::vector<uint32_t>& pixels, int size) {
  const int maskRow = (size + 31) / 32 * 4;
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, size);
  Put32(out, 2 * size);
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, 0);  // BI_RGB
  Put32(out, (size * 4 + maskRow) * size);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = size - 1; y >= 0; --y)
    for (int x = 0; x < size; ++x) Put32(out, pixels[y * size + x]);
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskRow, 0);
    for (int x = 0; x < size; ++x)
      if (pixels[y * size + x] >> 24 == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: survey_icon_generator OUTPUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 24, 32, 48, 64};
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes) images.push_back(EncodeImage(Draw(size), size));
  // ICONDIR, one ICONDIRENTRY per image, then the images.
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(0);  // colour count: 0 for more than 256 colours
    file.push_back(0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::vector<uint8_t>& image : images) file.insert(file.end(), image.begin(), image.end());

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "survey_icon_generator: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
