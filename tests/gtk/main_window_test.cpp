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

// Runs the main loop until done() or the time is up.
template <typename Done>
bool RunUntil(Done done, int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done() && std::chrono::steady_clock::now() < end)
    if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return done();
}
void RunMainLoop() {
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

// The menu as text, one item a line, indented by depth: "[x]"/"[ ]" for check
// items, "(o)" when drawn as radio, the label with its mnemonic and the command.
void Describe(GtkWidget* shell, int depth, std::string* out) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child != nullptr; child = child->next) {
    GtkMenuItem* item = GTK_MENU_ITEM(child->data);
    *out += std::string(2 * depth, ' ');
    if (GTK_IS_CHECK_MENU_ITEM(item)) {
      *out += gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)) ? "[x] " : "[ ] ";
      if (gtk_check_menu_item_get_draw_as_radio(GTK_CHECK_MENU_ITEM(item))) *out += "(o) ";
    }
    *out += std::string(gtk_menu_item_get_label(item)) + (gtk_menu_item_get_use_underline(item) ? "" : " (no mnemonics)");
    const guint command = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "lorvanta-command"));
    *out += command ? " " + std::to_string(command) + "\n" : "\n";
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(item)) Describe(submenu, depth + 1, out);
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
    ASSERT_TRUE(RunUntil([&] { return window->shownPicture != nullptr; }, 5000));
  }
  int64_t MicrosecondsToNextTick(uint32_t timerId) {
    GSource* source = g_main_context_find_source_by_id(nullptr, window->timers.at(timerId));
    return g_source_get_ready_time(source) - g_get_monotonic_time();
  }
  MainWindow* window = nullptr;
};

TEST_F(GtkMainWindow, ChoicesMarkTheirItemAndActOnceAndProgramMarksRunNoCommand) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window->window)), "Lorvanta");
  EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(window->window)));
  EXPECT_EQ(Menu(),
            "_Einstellungen\n  _Block-Schrittweite\n    [x] 1 KB 40026\n    [ ] 2 KB 40027\n    [ ] 4 KB 40028\n"
            "    [ ] 8 KB 40029\n    [ ] 16 KB 40030\n  Testbereichsgröße\n    [ ] 1 MB 40031\n    [x] 2 MB 40032\n"
            "    [ ] 4 MB 40033\n    [ ] 8 MB 40034\n  [x] Energiesparmodus austricksen 40037\n"
            "  [ ] Schnelle ungenaue Messung 40041\n_Ansicht\n  _Aktualisierungsrate\n    [ ] 1 Sekunde 40100\n"
            "    [x] 2 Sekunden 40101\n    [ ] 4 Sekunden 40102\n    [ ] 8 Sekunden 40103\n    [ ] Sofort 40104\n"
            "  [ ] _Cachebereiche anzeigen 40021\n  _Screenshot erstellen 40039\n");
  EXPECT_EQ(window->menuItems.size(), 18u);
  Choose(IDM_BLOCK_STEP_1KB + 2);  // 4 KB
  EXPECT_EQ(measurementState.blockStep, 4096u);
  EXPECT_NE(Menu().find("[ ] (o) 2 KB 40027\n    [x] (o) 4 KB 40028\n    [ ] (o) 8 KB"), std::string::npos) << Menu();
  EXPECT_NE(Menu().find("[ ] (o) 1 KB 40026\n"), std::string::npos);
  EXPECT_NE(Menu().find("    [x] 2 MB 40032\n"), std::string::npos);  // the other groups keep their start marks
  // Choosing it again keeps the mark (GTK alone would clear it) and still starts the curves afresh.
  measurementState.readRates[0] = 12345;
  Choose(IDM_BLOCK_STEP_1KB + 2);
  EXPECT_TRUE(Checked(IDM_BLOCK_STEP_1KB + 2));
  EXPECT_EQ(measurementState.readRates[0], 0u);
  Choose(IDM_TEST_AREA_8MB);
  EXPECT_EQ(measurementState.testAreaSize, 0x800000u);
  EXPECT_TRUE(Checked(IDM_TEST_AREA_8MB) && !Checked(IDM_TEST_AREA_1MB + 1));

  // Each toggle flips its own mark and runs its command once per activation.
  for (int round = 0; round < 2; ++round) {
    for (uint32_t id : {IDM_FAST_MEASUREMENT, IDM_CACHE_REGIONS, IDM_POWER_DEFEAT}) {
      Choose(id);
      EXPECT_EQ(Checked(id), id == IDM_POWER_DEFEAT ? round == 1 : round == 0) << id;
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
  ShowWithoutSweeps();  // each paint keeps a new picture: at 1 s a tick brings one
  Choose(IDM_REFRESH_1S);
  RunMainLoop();
  cairo_surface_t* const shown = window->shownPicture;
  EXPECT_TRUE(RunUntil([&] { return window->shownPicture != shown; }, 2500)) << "no paint from the 1 s timer";
}

TEST_F(GtkMainWindow, TheScreenshotIsThePictureOnTheScreenNotASecondPaint) {
  ShowWithoutSweeps();
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
      ASSERT_EQ(file.At(x, y), RgbOf(__builtin_bswap32(pixel) >> 8)) << x << "," << y;  // 0xAARRGGBB to 0x00BBGGRR
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
