// lorvanta-survey: the survey of the memory hierarchy on the Linux desktop,
// its picture filling in as the passes run.
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/gtk_survey/survey_main_window.h"
#include "app/tool_version.h"
#include "platform/cairo/cairo_canvas.h"

// The program takes one argument, --version, which prints the version before
// GTK starts (no display needed); others change nothing.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lorvanta-survey %s\n", toolVersion);
      return 0;
    }
  g_set_prgname("lorvanta-survey");
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "lorvanta-survey: no display to open a window on\n");
    return 1;
  }
  const double resolution = gdk_screen_get_resolution(gdk_screen_get_default());
  CreateDisplayFonts(resolution > 0 ? static_cast<int>(std::lround(resolution)) : 96);
  const int result = RunSurveyMainWindow();
  DestroyDisplayFonts();
  return result;
}
