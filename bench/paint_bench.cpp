// One full paint of the main window's client area (button face, chart and
// results panel) through the Cairo backend at the largest setting: 8 MiB test
// area and 1 KiB step, 8190 entries per curve, into a 1280 x 800 image.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdint>
#include <cstdlib>

#include "app/client_picture.h"
#include "platform/cairo/cairo_canvas.h"
#include "record/state.h"

namespace {

constexpr int kWidth = 1280, kHeight = 800;

// Rates shaped like a real sweep: a plateau for the first-level cache, one
// for the second-level cache and one for memory, each entry jittered by up to
// +-4 % (a fixed pseudo-random sequence, the same for every run).
void FillPlausibleRates() {
  MeasurementState& state = measurementState;
  state.testAreaSize = 8u << 20;
  state.blockStep = 1024;
  state.l1CacheSize = 48 * 1024;
  state.l2CacheSize = 1280 * 1024;
  state.clockHz = 2594123456;
  ResetResultArrays();
  uint32_t seed = 12345;
  auto jitter = [&seed](uint64_t rate) {
    seed = seed * 1664525u + 1013904223u;
    const int64_t permille = static_cast<int64_t>(seed >> 22) % 81 - 40;  // -40..40
    return static_cast<uint64_t>(static_cast<int64_t>(rate) + static_cast<int64_t>(rate / 1000) * permille);
  };
  for (uint32_t i = 0; i < BlockCount(); ++i) {
    const uint32_t length = BlockLength(i);
    const uint64_t read = length < state.l1CacheSize ? 60000000000ull
                          : length < state.l2CacheSize ? 35000000000ull
                                                       : 12000000000ull;
    state.readRates[i] = jitter(read);
    state.writeRates[i] = jitter(read / 5 * 3);
    state.copyRates[i] = jitter(read / 5 * 2);
  }
}

void FreeRates() {
  std::free(measurementState.readRates);
  std::free(measurementState.writeRates);
  std::free(measurementState.copyRates);
  measurementState.readRates = measurementState.writeRates = measurementState.copyRates = nullptr;
}

// The steady state of a running window: every paint after the first, whose
// labels have been shaped before.
void BM_PaintClientArea(benchmark::State& state) {
  FillPlausibleRates();
  CreateDisplayFonts(96);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(image);
  for (auto _ : state) {
    PaintClientPicture(cr, kWidth, kHeight);
    cairo_surface_flush(image);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(image));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(image);
  DestroyDisplayFonts();
  FreeRates();
}
BENCHMARK(BM_PaintClientArea)->Unit(benchmark::kMillisecond);

// The first paint with fresh fonts: every text is shaped anew.
void BM_PaintClientAreaFreshFonts(benchmark::State& state) {
  FillPlausibleRates();
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(image);
  for (auto _ : state) {
    state.PauseTiming();
    CreateDisplayFonts(96);
    state.ResumeTiming();
    PaintClientPicture(cr, kWidth, kHeight);
    cairo_surface_flush(image);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(image));
  }
  DestroyDisplayFonts();
  cairo_destroy(cr);
  cairo_surface_destroy(image);
  FreeRates();
}
BENCHMARK(BM_PaintClientAreaFreshFonts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
