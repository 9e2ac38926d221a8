// The pixel conventions every drawing backend keeps, as one typed test suite.
// A backend's test instantiates it with a Target type that begins a canvas on
// a kWidth x kHeight picture filled with kBackground:
//   struct Target {
//     Canvas canvas;
//     Colour shadow, highlight, darkShadow, light;  // the sunken edge's shades
//     Colour At(int x, int y);  // the pixel, once everything drawn is in place
//   };
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "display/canvas.h"

namespace canvas_conventions {

constexpr int kWidth = 64, kHeight = 48;
constexpr Colour kBackground = MakeColour(1, 2, 3);
constexpr Colour kPen = MakeColour(10, 200, 30), kBlue = MakeColour(0, 0, 255), kRed = MakeColour(255, 0, 0);
using Pixels = std::set<std::pair<int, int>>;

// The pixels of the rectangle x0..x1, y0..y1 (inclusive), added to pixels.
inline Pixels Span(int x0, int y0, int x1, int y1, Pixels pixels = {}) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) pixels.insert({x, y});
  return pixels;
}

template <typename Target>
class CanvasConventions : public ::testing::Test {
 protected:
  Pixels PixelsOf(Colour colour) {
    Pixels found;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        if (target.At(x, y) == colour) found.insert({x, y});
    return found;
  }
  void Line(int x0, int y0, int x1, int y1) {
    c.MoveTo(c.context, x0, y0);
    c.LineTo(c.context, x1, y1);
  }
  Target target;
  Canvas& c = target.canvas;
};
TYPED_TEST_SUITE_P(CanvasConventions);

// A fill covers exactly its rectangle; a clip limits fills and lines, and a
// new clip replaces the last one rather than narrowing it, exclusions too.
TYPED_TEST_P(CanvasConventions, FillsAndLinesStayWithinTheLatestClip) {
  Canvas& c = this->c;
  c.ExcludeFromClip(c.context, Rect{1, 1, 4, 3});  // (1, 1) and (2, 1)
  c.ExcludeFromClip(c.context, Rect{11, 10, 13, 12});
  c.FillBackground(c.context, Rect{0, 0, 4, 3});
  c.FillRect(c.context, Rect{3, 4, 7, 6}, kPen);
  c.ClipToRect(c.context, Rect{10, 10, 13, 12});
  c.FillRect(c.context, Rect{0, 0, kWidth, kHeight}, kBlue);
  c.ClipToRect(c.context, Rect{40, 40, 44, 42});
  c.SelectSolidPen(c.context, kPen);
  this->Line(0, 41, kWidth, 41);
  EXPECT_EQ(this->PixelsOf(kPen), Span(40, 41, 43, 41, Span(3, 4, 6, 5)));
  EXPECT_EQ(this->PixelsOf(kBlue), Span(10, 10, 12, 11));
  EXPECT_EQ(this->PixelsOf(this->target.At(0, 0)), Span(0, 0, 0, 2, Span(1, 0, 2, 0, Span(1, 2, 3, 2, Span(3, 0, 3, 1)))));
}

// Lines leave out their last pixel in every direction; the next LineTo goes on from that point; a pen takes its
// colour at its selection. The dotted pen draws three pixels and skips three from each line's start, the gaps
// keeping what was there. The sunken edge: two rings on the rectangle's own border pixels, shadow and dark shadow
// at the top and left, highlight and light at the bottom and right, whose colours take the top-right and
// bottom-left corners.
TYPED_TEST_P(CanvasConventions, LinesDottedLinesAndTheSunkenEdge) {
  Canvas& c = this->c;
  c.SetTransparentText(c.context);
  c.SelectDottedPen(c.context, kRed);
  this->Line(60, 0, 60, 20);
  c.SelectSolidPen(c.context, kPen);
  this->Line(2, 5, 10, 5);   // right: 2..9
  this->Line(10, 7, 2, 7);   // left: 3..10
  this->Line(20, 2, 20, 9);  // down: 2..8
  this->Line(22, 9, 22, 2);  // up: 3..9
  c.LineTo(c.context, 30, 2);  // on from (22, 2): 22..29
  c.SelectSolidPen(c.context, kBlue);
  this->Line(40, 20, 40, 30);
  c.DrawSunkenEdge(c.context, Rect{10, 10, 30, 25});
  EXPECT_EQ(this->PixelsOf(kPen),
            Span(22, 2, 29, 2, Span(22, 3, 22, 9, Span(20, 2, 20, 8, Span(3, 7, 10, 7, Span(2, 5, 9, 5))))));
  EXPECT_EQ(this->PixelsOf(kBlue), Span(40, 20, 40, 29));
  for (int y = 0; y <= 20; ++y) EXPECT_EQ(this->target.At(60, y), y < 20 && y % 6 < 3 ? kRed : kBackground) << y;
  const TypeParam& t = this->target;
  const Colour shades[] = {t.shadow, t.highlight, t.darkShadow, t.light, kBackground};
  const int expected[][3] = {{20, 10, 0}, {10, 17, 0}, {10, 10, 0}, {20, 24, 1}, {29, 17, 1}, {29, 10, 1}, {10, 24, 1},
                             {20, 11, 2}, {11, 17, 2}, {20, 23, 3}, {28, 17, 3}, {12, 12, 4}, {27, 22, 4}, {9, 17, 4},
                             {30, 17, 4}, {20, 25, 4}};  // x, y, shade
  for (const auto& e : expected) EXPECT_EQ(this->target.At(e[0], e[1]), shades[e[2]]) << e[0] << "," << e[1];
}

REGISTER_TYPED_TEST_SUITE_P(CanvasConventions, FillsAndLinesStayWithinTheLatestClip, LinesDottedLinesAndTheSunkenEdge);

}  // namespace canvas_conventions
