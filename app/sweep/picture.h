// The window's picture for the headless tool: the client area painted as the
// window shows it after the last sweep, saved as a BMP. Built where a drawing
// backend for off-screen pictures exists (LORVANTA_HAVE_PICTURE).
#pragma once
#include <cstdint>

#include "platform/os.h"

// Paints a width x height client area from the measurement state (button
// face, chart, results panel, in the window's fonts at 96 DPI) and writes it
// into file, just created at path, which is closed. On failure the file is
// removed and the result is false.
bool WriteWindowPicture(FileHandle file, const char* path, int32_t width, int32_t height);
