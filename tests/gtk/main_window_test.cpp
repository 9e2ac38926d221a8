// The GTK main window with real widgets on a display (run under xvfb-run):
// the menu as built, what activating its items does, marks set by the
// program, timers, the screenshot and closing.
#include "app/gtk/main_window.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "display/display_state.h"
#include "platform/os.h"
#include "probe/processor.h"
#include "record/state.h"
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
void RunMainLoop() { for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) continue; }

// The menu as text, one item a line, indented by depth: "[x]"/"[ ]" for check
// items, "(o)" when drawn as radio, the label with its mnemonic and the command.
std::string Describe(GtkWidget* shell, int depth, std::string out) {
  GList* children = gtk_container_get_children(GTK_CONTAINER(shell));
  for (GList* child = children; child != nullptr; child = child->next) {
    GtkMenuItem* item = GTK_MENU_ITEM(child->data);
    GtkCheckMenuItem* check = GTK_IS_CHECK_MENU_ITEM(item) ? GTK_CHECK_MENU_ITEM(item) : nullptr;
    const guint command = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "lorvanta-command"));
    out += std::string(2 * depth, ' ') + (check ? gtk_check_menu_item_get_active(check) ? "[x] " : "[ ] " : "") +
            (check && gtk_check_menu_item_get_draw_as_radio(check) ? "(o) " : "") + gtk_menu_item_get_label(item) +
            (gtk_menu_item_get_use_underline(item) ? "" : " (no mnemonics)") +
            (command ? " " + std::to_string(command) : "") + "\n";
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(item)) out = Describe(submenu, depth + 1, out);
  }
  g_list_free(children);
  return out;
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
    if (window != nullptr) StopSweep(MainWindowPort(window)), DestroyMainWindow(window);
    RunMainLoop();
    ReleaseTestBuffers();
    CloseEvent(measurementState.powerDefeatStopEvent);
  }
  std::string Menu() { return Describe(window->menuBar, 0, std::string()); }
  bool Checked(uint32_t id) { return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(window->menuItems.at(id))); }
  // The user's choice, as a click, Return or a mnemonic delivers it.
  void Choose(uint32_t id) { gtk_menu_item_activate(GTK_MENU_ITEM(window->menuItems.at(id))); }
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
  EXPECT_NE(Menu().find("[ ] (o) 1 KB 40026\n    [ ] (o) 2 KB 40027\n    [x] (o) 4 KB 40028\n    [ ] (o) 8 KB 40029\n"
                        "    [ ] (o) 16 KB 40030\n  Testbereichsgröße\n    [ ] 1 MB 40031\n    [x] 2 MB"),
            std::string::npos) << Menu();  // the other groups keep their start marks
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
  SignalEvent(measurementState.powerDefeatStopEvent);  // on again: a thread takes the next stop signal and ends
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(PollEvent(measurementState.powerDefeatStopEvent)) << "no thread consumed the signal";
  const WindowPort port = MainWindowPort(window);  // marks set by the program run no command
  port.CheckMenuItem(port.window, IDM_CACHE_REGIONS, true);
  port.CheckMenuRadioItem(port.window, IDM_TEST_AREA_1MB, IDM_TEST_AREA_8MB, IDM_TEST_AREA_1MB);
  port.CheckMenuItem(port.window, IDM_POWER_DEFEAT, false);
  EXPECT_TRUE(port.IsMenuItemChecked(port.window, IDM_CACHE_REGIONS) && Checked(IDM_TEST_AREA_1MB));
  EXPECT_TRUE(!Checked(IDM_TEST_AREA_8MB) && !measurementState.showCacheRegions);
  EXPECT_FALSE(measurementState.testAreaSize != 0x800000u || PollEvent(measurementState.powerDefeatStopEvent));
}

TEST_F(GtkMainWindow, TimersRepaintTheScreenshotIsTheShownPictureCloseAndDestroy) {
  auto microsecondsToTick = [&](uint32_t timer) {
    return g_source_get_ready_time(g_main_context_find_source_by_id(nullptr, window->timers.at(timer))) -
           g_get_monotonic_time();
  };
  EXPECT_EQ(window->timers.size(), 2u);
  EXPECT_TRUE(microsecondsToTick(IDT_MEASUREMENT) > 900000 && microsecondsToTick(IDT_MEASUREMENT) <= 1000000);
  EXPECT_GT(microsecondsToTick(IDT_REPAINT), 1900000);  // 2 s at start
  const guint before = window->timers.at(IDT_REPAINT);
  Choose(IDM_REFRESH_NOW);  // "Sofort": 1 ms
  EXPECT_TRUE(measurementState.refreshInterval == 1u && microsecondsToTick(IDT_REPAINT) <= 1000);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, before), nullptr) << "the old repaint timer is gone";
  Choose(IDM_REFRESH_1S + 3);  // 8 s
  EXPECT_GT(microsecondsToTick(IDT_REPAINT), 7900000);

  // Shown without sweeps, each paint keeps a new picture: at 1 s a tick brings one.
  MainWindowPort(window).KillTimer(window, IDT_MEASUREMENT);
  gtk_widget_show(window->window);
  ASSERT_TRUE(RunUntil([&] { return window->shownPicture != nullptr; }, 5000));
  Choose(IDM_REFRESH_1S);
  RunMainLoop();
  cairo_surface_t* shown = window->shownPicture;
  EXPECT_TRUE(RunUntil([&] { return window->shownPicture != shown; }, 2500)) << "no paint from the 1 s timer";
  shown = window->shownPicture;
  const bool phase = displayState.blinkPhase;
  char directory[] = "/tmp/lorvanta-gtk-shot-XXXXXX";
  ASSERT_TRUE(mkdtemp(directory) != nullptr && chdir(directory) == 0);
  Choose(IDM_SCREENSHOT);
  EXPECT_EQ(displayState.blinkPhase, phase);
  const Picture file = LoadScreenshot("screenshot-0.bmp", false);
  unlink("screenshot-0.bmp"), rmdir(directory);
  ASSERT_TRUE(file.width == cairo_image_surface_get_width(shown) && file.height == cairo_image_surface_get_height(shown));
  const unsigned char* data = cairo_image_surface_get_data(shown);
  for (int y = 0; y < file.height; ++y)
    for (int x = 0; x < file.width; ++x) {
      const uint32_t pixel = reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(shown))[x];
      ASSERT_EQ(file.At(x, y), RgbOf(__builtin_bswap32(pixel) >> 8)) << x << "," << y;  // 0xAARRGGBB to 0x00BBGGRR
    }

  WindowTimer(MainWindowPort(window), IDT_MEASUREMENT);
  ASSERT_NE(measurementState.measurementThread, 0);
  gtk_window_close(GTK_WINDOW(window->window));  // delete-event, as from the close box
  EXPECT_TRUE(RunUntil([&] { return window->ended; }, 5000));
  EXPECT_TRUE(measurementState.measurementThread == 0 && window->result == 2);
  EXPECT_TRUE(GTK_IS_WINDOW(window->window)) << "the window lives until the loop has ended";
  const guint repaint = window->timers.at(IDT_REPAINT);
  EXPECT_NE(displayState.panelFont, 0u);
  DestroyMainWindow(window);
  window = nullptr;
  EXPECT_EQ(displayState.panelFont + displayState.axisFont, 0u);
  EXPECT_EQ(g_main_context_find_source_by_id(nullptr, repaint), nullptr);
}

}  // namespace
