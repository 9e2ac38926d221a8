// The window's icon, compiled into the program: the images of the icon file
// (generated at build time by lorvanta_icon_export).
#pragma once
#include <cstdint>

struct ProgramIconImage {
  int size;
  const uint32_t* pixels;  // size * size pixels 0xAARRGGBB, the top row first
};

extern const ProgramIconImage kProgramIconImages[];
extern const int kProgramIconImageCount;
