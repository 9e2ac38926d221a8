// Writes the survey program's icon as DIR/NxN/lorvanta-survey.png for each
// size given: the files the desktop's icon theme installs.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/gtk_survey/survey_icon.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIR SIZE...\n", argv[0]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const std::string folder = std::string(argv[1]) + "/" + std::to_string(size) + "x" + std::to_string(size);
    mkdir(argv[1], 0755);
    mkdir(folder.c_str(), 0755);
    cairo_surface_t* image = DrawSurveyIcon(size);
    const cairo_status_t status = cairo_surface_write_to_png(image, (folder + "/lorvanta-survey.png").c_str());
    cairo_surface_destroy(image);
    if (size <= 0 || status != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "%s: cannot write the %s pixel icon\n", argv[0], argv[i]);
      return 1;
    }
  }
  return 0;
}
