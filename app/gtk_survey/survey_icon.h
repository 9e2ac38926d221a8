// The survey program's icon, drawn with Cairo at any size: three rate curves
// falling in steps over a light square, as the survey's picture shows them.
// The window takes it at run time; the build writes its PNG files for the
// desktop's icon theme.
#pragma once
#include <cairo.h>

// A new ARGB image of size x size pixels with the icon; the caller destroys it.
cairo_surface_t* DrawSurveyIcon(int size);
