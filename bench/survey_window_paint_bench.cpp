// One frame of the survey window at 1280 x 800 through the Cairo backend, as
// the GTK front end paints it: the context and progress lines, the picture
// with its three curves, latency and level marks, and the per-level panel,
// from a finished survey of this machine (one thread, latency, the largest
// block 16 MiB). The window should paint a frame in well under 5 ms, since it
// repaints up to five times a second while the survey measures.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/survey_window/survey_window.h"
#include "platform/cairo/cairo_canvas.h"

namespace {
constexpr int kWidth = 1280, kHeight = 800;

// A window whose session holds a finished survey; null when none finished.
SurveyWindow* FinishedSurveyWindow() {
  static SurveyWindow window{};
  SurveyWindowSettings settings;
  settings.settings.maxSize = uint64_t{16} << 20;
  settings.settings.latency = true;
  settings.settings.repeats = 2;
  if (!StartSurvey(window.session, settings)) return nullptr;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::shared_ptr<const SurveySnapshot> now = CurrentSurveySnapshot(window.session);
    if (now != nullptr && now->ended) break;
  }
  StopSurvey(window.session);
  const std::shared_ptr<const SurveySnapshot> last = CurrentSurveySnapshot(window.session);
  return last->outcome == SurveyCompleted && !last->record.runs.empty() ? &window : nullptr;
}

void BM_PaintSurveyWindow(benchmark::State& state) {
  static SurveyWindow* const window = FinishedSurveyWindow();
  if (window == nullptr) {
    state.SkipWithError("the survey did not finish");
    return;
  }
  CreateDisplayFonts(96);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(image);
  for (auto _ : state) {
    Canvas canvas = BeginCairoCanvas(cr);
    PaintSurveyWindow(*window, canvas, Rect{0, 0, kWidth, kHeight});
    EndCairoCanvas(canvas);
    cairo_surface_flush(image);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(image));
  }
  if (std::getenv("LORVANTA_PAINT_PNG") != nullptr) cairo_surface_write_to_png(image, std::getenv("LORVANTA_PAINT_PNG"));
  cairo_destroy(cr);
  cairo_surface_destroy(image);
  DestroyDisplayFonts();
}
BENCHMARK(BM_PaintSurveyWindow)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();
