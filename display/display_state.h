// The display's few working values, kept for the whole process beside the
// measurement record: the two fonts a front end creates for its screen, the
// curve colours, the chart's rate scale of its last paint and the panel's
// blink phase. Written and read by paints and by the front ends that create
// the fonts, on the window's thread only.
#pragma once
#include <cstdint>

#include "display/canvas.h"

struct DisplayState {
  FontHandle panelFont = 0;
  FontHandle axisFont = 0;  // turned by 90 degrees counter-clockwise
  Colour curveColours[3] = {MakeColour(255, 200, 0), MakeColour(255, 0, 0), MakeColour(0, 200, 255)};
  uint64_t chartMaxRate = 1;
  bool blinkPhase = false;
};

extern DisplayState displayState;
