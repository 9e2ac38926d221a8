// The GTK main window with real widgets on a display (run under xvfb-run):
// the menu as built, what activating its items does, marks set by the
// program, timers, the screenshot and closing.
#include "app/gtk/main_window.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "measure/state.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "tests/support/screenshot_checks.h"
#include "tests/support/state_reset.h"

namespace {

void RunMainLoop() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

// Runs the main loop until done() or the time is up.
template <typename Done>
bool RunUntil(Done done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    g_main_context_iteration(nullptr, FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The menu as text, one item a line, indented by depth: the label with its
// mnemonic underscore, "[x]"/"[ ]" for check items, "(o)" when drawn as radio.
void Describe(GtkWidget* shell, int depth, std::string* out) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child != nullptr; child = child->next) {
    GtkWidget* item = GTK_WIDGET(child->data);
    *out += std::string(2 * depth, ' ');
    if (!GTK_IS_MENU_ITEM(item) || GTK_IS_SEPARATOR_MENU_ITEM(item)) {
      *out += "----\n";
      continue;
    }
    if (GTK_IS_CHECK_MENU_ITEM(item)) {
      GtkCheckMenuItem* check = GTK_CHECK_MENU_ITEM(item);
      *out += gtk_check_menu_item_get_active(check) ? "[x] " : "[ ] ";
      if (gtk_check_menu_item_get_draw_as_radio(check)) *out += "(o) ";
    }
    *out += gtk_menu_item_get_label(GTK_MENU_ITEM(item));
    *out += gtk_menu_item_get_use_underline(GTK_MENU_ITEM(item)) ? "\n" : " (no mnemonics)\n";
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) Describe(submenu, depth + 1, out);
  }
  g_list_free(children);
}

class GtkMainWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display"; }
  void SetUp() override {
    ResetMeasurementStateForTest();
    ProbeProcessor();
    measurementState.powerDefeatStopEvent = CreateAutoResetEvent();
    window = CreateMainWindow();
  }
  void TearDown() override {
    StopSweep(MainWindowPort(window));
    if (window != nullptr) DestroyMainWindow(window);
    RunMainLoop();
    ReleaseTestBuffers();
    CloseEvent(measurementState.powerDefeatStopEvent);
  }
  std::string Menu() {
    std::string text;
    Describe(window->menuBar, 0, &text);
    return text;
  }
  bool Checked(uint32_t id) { return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(window->menuItems.at(id))); }
  // The user's choice, as a click, Return or a mnemonic delivers it.
  void Choose(uint32_t id) { gtk_menu_item_activate(GTK_MENU_ITEM(window->menuItems.at(id))); }
  void ShowWithoutSweeps() {
    MainWindowPort(window).KillTimer(window, IDT_MEASUREMENT);
    gtk_widget_show(window->window);
    RunUntil([&] { return gtk_widget_get_allocated_height(window->drawingArea) > 1; }, 5000);
    RunMainLoop();
  }
  int64_t MicrosecondsToNextTick(uint32_t timerId) {
    GSource* source = g_main_context_find_source_by_id(nullptr, window->timers.at(timerId));
    return g_source_get_ready_time(source) - g_get_monotonic_time();
  }
  MainWindow* window = nullptr;
};

TEST_F(GtkMainWindow, TitleAndMenuTreeWithTheMarksAtStart) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window->window)), "Lorvanta");
  EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(window->window)));
  EXPECT_EQ(Menu(),
            "_Einstellungen\n  _Block-Schrittweite\n"
            "    [x] 1 KB\n    [ ] 2 KB\n    [ ] 4 KB\n    [ ] 8 KB\n    [ ] 16 KB\n"
            "  Testbereichsgröße\n    [ ] 1 MB\n    [x] 2 MB\n    [ ] 4 MB\n    [ ] 8 MB\n"
            "  [x] Energiesparmodus austricksen\n  [ ] Schnelle ungenaue Messung\n"
            "_Ansicht\n  _Aktualisierungsrate\n"
            "    [ ] 1 Sekunde\n    [x] 2 Sekunden\n    [ ] 4 Sekunden\n    [ ] 8 Sekunden\n    [ ] Sofort\n"
            "  [ ] _Cachebereiche anzeigen\n  _Screenshot erstellen\n");
  std::string ids;  // every item carries its command
  for (const auto& [id, item] : window->menuItems) ids += std::to_string(id) + " ";
  EXPECT_EQ(ids, "40021 40026 40027 40028 40029 40030 40031 40032 40033 40034 40037 40039 40041 "
                 "40100 40101 40102 40103 40104 ");
}

TEST_F(GtkMainWindow, ChoicesMarkTheirItemAndActOnceAndProgramMarksRunNoCommand) {
  Choose(IDM_BLOCK_STEP_1KB + 2);  // 4 KB
  EXPECT_EQ(measurementState.blockStep, 4096u);
  EXPECT_NE(Menu().find("    [ ] (o) 1 KB\n    [ ] (o) 2 KB\n    [x] (o) 4 KB\n    [ ] (o) 8 KB\n    [ ] (o) 16 KB\n"),
            std::string::npos)
      << Menu();
  EXPECT_NE(Menu().find("    [x] 2 MB\n"), std::string::npos);  // the other groups keep their start marks
  // Choosing it again keeps the mark (GTK alone would clear it) and still starts the curves afresh.
  measurementState.readRates[0] = 12345;
  Choose(IDM_BLOCK_STEP_1KB + 2);
  EXPECT_TRUE(Checked(IDM_BLOCK_STEP_1KB + 2));
  EXPECT_EQ(measurementState.readRates[0], 0u);
  Choose(IDM_TEST_AREA_8MB);
  EXPECT_EQ(measurementState.testAreaSize, 0x800000u);
  EXPECT_TRUE(Checked(IDM_TEST_AREA_8MB) && !Checked(IDM_TEST_AREA_1MB + 1));

  // Each toggle flips its own mark and runs its command once per activation.
  const uint32_t toggles[] = {IDM_FAST_MEASUREMENT, IDM_CACHE_REGIONS, IDM_POWER_DEFEAT};
  for (int round = 0; round < 2; ++round) {
    for (uint32_t id : toggles) {
      const bool before = Checked(id);
      Choose(id);
      EXPECT_NE(Checked(id), before) << id;
    }
    EXPECT_EQ(measurementState.repeatCount, round == 0 ? 2u : 10u);
    EXPECT_EQ(measurementState.showCacheRegions, round == 0);
    EXPECT_EQ(PollEvent(measurementState.powerDefeatStopEvent), round == 0) << "defeat switched off once";
    EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent));
  }
  SignalEvent(measurementState.powerDefeatStopEvent);  // on again: a thread takes the next stop signal
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent)) << "no thread consumed the signal";

  const WindowPort port = MainWindowPort(window);
  port.CheckMenuItem(port.window, IDM_CACHE_REGIONS, true);
  EXPECT_TRUE(port.IsMenuItemChecked(port.window, IDM_CACHE_REGIONS));
  EXPECT_FALSE(measurementState.showCacheRegions);
  port.CheckMenuRadioItem(port.window, IDM_TEST_AREA_1MB, IDM_TEST_AREA_8MB, IDM_TEST_AREA_1MB);
  EXPECT_TRUE(Checked(IDM_TEST_AREA_1MB) && !Checked(IDM_TEST_AREA_8MB));
  EXPECT_EQ(measurementState.testAreaSize, 0x800000u);
  port.CheckMenuItem(port.window, IDM_POWER_DEFEAT, false);
  EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent));
}

TEST_F(GtkMainWindow, TimersRunAtTheirPeriodsARestartReplacesTheTimerAndRepaints) {
  ASSERT_EQ(window->timers.size(), 2u);
  EXPECT_GT(MicrosecondsToNextTick(IDT_MEASUREMENT), 900000);
  EXPECT_LE(MicrosecondsToNextTick(IDT_MEASUREMENT), 1000000);
  EXPECT_GT(MicrosecondsToNextTick(IDT_REPAINT), 1900000);  // 2 s at start
  const guint before = window->timers.at(IDT_REPAINT);
  Choose(IDM_REFRESH_NOW);  // "Sofort": 1 ms
  EXPECT_EQ(measurementState.refreshInterval, 1u);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, before), nullptr) << "the old repaint timer is gone";
  EXPECT_LE(MicrosecondsToNextTick(IDT_REPAINT), 1000);
  Choose(IDM_REFRESH_1S + 3);  // 8 s
  EXPECT_GT(MicrosecondsToNextTick(IDT_REPAINT), 7900000);
  EXPECT_EQ(window->timers.size(), 2u);

  // Paints of the drawing area, counted as emitted (the window's own handler ends the emission).
  ShowWithoutSweeps();
  static GtkWidget* area;
  static int draws;
  area = window->drawingArea;
  const guint signal = g_signal_lookup("draw", GTK_TYPE_WIDGET);
  const gulong hook = g_signal_add_emission_hook(
      signal, 0,
      [](GSignalInvocationHint*, guint, const GValue* values, gpointer) -> gboolean {
        draws += g_value_get_object(&values[0]) == area;
        return TRUE;
      },
      nullptr, nullptr);
  draws = 0;
  Choose(IDM_REFRESH_1S);
  EXPECT_TRUE(RunUntil([&] { return draws >= 2; }, 3500)) << draws << " paints in 3.5 s at 1 s";
  Choose(IDM_REFRESH_1S + 3);  // nothing else asks for paints: none in 2.5 s at 8 s
  RunMainLoop();
  draws = 0;
  RunUntil([] { return false; }, 2500);
  EXPECT_EQ(draws, 0);
  g_signal_remove_emission_hook(signal, hook);
}

TEST_F(GtkMainWindow, TheScreenshotIsThePictureOnTheScreenNotASecondPaint) {
  ShowWithoutSweeps();
  ASSERT_TRUE(RunUntil([&] { return window->shownPicture != nullptr; }, 5000));
  cairo_surface_t* shown = window->shownPicture;
  const bool phase = measurementState.blinkPhase;
  char directory[] = "/tmp/lorvanta-gtk-shot-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  ASSERT_EQ(chdir(directory), 0);
  Choose(IDM_SCREENSHOT);
  EXPECT_EQ(measurementState.blinkPhase, phase);
  const Picture file = LoadScreenshot("screenshot-0.bmp", false);
  ASSERT_EQ(file.width, cairo_image_surface_get_width(shown));
  ASSERT_EQ(file.height, cairo_image_surface_get_height(shown));
  for (int y = 0; y < file.height; ++y)
    for (int x = 0; x < file.width; ++x) {
      const uint32_t pixel = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(shown) +
                                                               y * cairo_image_surface_get_stride(shown))[x];
      ASSERT_EQ(file.At(x, y), RgbOf(  // 0xAARRGGBB to 0x00BBGGRR
                                   __builtin_bswap32(pixel) >> 8)) << x << "," << y;
    }
  unlink("screenshot-0.bmp");
  rmdir(directory);
}

TEST_F(GtkMainWindow, CloseStopsTheSweepEndsTheLoopAndDestroyDeletesFontsAndTimers) {
  EXPECT_NE(measurementState.panelFont, 0u);
  gtk_widget_show(window->window);
  RunMainLoop();
  WindowTimer(MainWindowPort(window), IDT_MEASUREMENT);
  ASSERT_NE(measurementState.measurementThread, 0);
  gtk_window_close(GTK_WINDOW(window->window));  // delete-event, as from the close box
  EXPECT_TRUE(RunUntil([&] { return window->ended; }, 5000));
  EXPECT_EQ(measurementState.measurementThread, 0);
  EXPECT_EQ(window->result, 2);
  EXPECT_TRUE(GTK_IS_WINDOW(window->window)) << "the window lives until the loop has ended";
  const guint repaint = window->timers.at(IDT_REPAINT);
  DestroyMainWindow(window);
  window = nullptr;
  EXPECT_EQ(measurementState.panelFont + measurementState.axisFont, 0u);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, repaint), nullptr);
}

}  // namespace
