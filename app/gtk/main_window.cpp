#include "app/gtk/main_window.h"

#include <cmath>
#include <string>

#include "app/client_picture.h"
#include "app/gtk/measurement_notice.h"
#include "app/gtk/program_icon.h"
#include "app/screenshot_file.h"
#include "display/layout.h"
#include "platform/cairo/cairo_canvas.h"

namespace {

MainWindow* RecordOf(void* window) { return static_cast<MainWindow*>(window); }

const char kCommandKey[] = "lorvanta-command";

// The menu items' activation, reached from a click, a key or a mnemonic.
void OnMenuItemActivate(GtkMenuItem* item, gpointer window);

// Sets a check mark from the program: the item's own handler is held back so
// that the change is not taken for the user's choice.
void SetMark(MainWindow* window, GtkWidget* item, bool checked, bool asRadio) {
  GtkCheckMenuItem* check = GTK_CHECK_MENU_ITEM(item);
  g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(OnMenuItemActivate), window);
  gtk_check_menu_item_set_draw_as_radio(check, asRadio);
  gtk_check_menu_item_set_active(check, checked);
  g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(OnMenuItemActivate), window);
}

// The window port -------------------------------------------------------------

GtkWidget* ItemOf(MainWindow* window, uint32_t id) {
  const auto found = window->menuItems.find(id);
  return found == window->menuItems.end() ? nullptr : found->second;
}

bool IsMenuItemChecked(void* window, uint32_t id) {
  GtkWidget* item = ItemOf(RecordOf(window), id);
  return item != nullptr && GTK_IS_CHECK_MENU_ITEM(item) && gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item));
}

void CheckItem(void* window, uint32_t id, bool checked) {
  GtkWidget* item = ItemOf(RecordOf(window), id);
  if (item == nullptr || !GTK_IS_CHECK_MENU_ITEM(item)) return;
  SetMark(RecordOf(window), item, checked,
          gtk_check_menu_item_get_draw_as_radio(GTK_CHECK_MENU_ITEM(item)) != FALSE);
}

// The chosen item gets a radio mark and the others of the group lose theirs.
// The whole group is drawn as radio items from then on: GTK shows the empty
// indicator of an unmarked item, and a group of check boxes with one radio
// mark among them would read as two kinds of setting. Until the first
// choice the group keeps the check mark it started with.
void CheckRadioItem(void* window, uint32_t first, uint32_t last, uint32_t id) {
  for (uint32_t other = first; other <= last; ++other) {
    GtkWidget* item = ItemOf(RecordOf(window), other);
    if (item != nullptr && GTK_IS_CHECK_MENU_ITEM(item)) SetMark(RecordOf(window), item, other == id, true);
  }
}

struct TimerTick {
  MainWindow* window;
  uint32_t timerId;
};

gboolean OnTimer(gpointer data) {
  const TimerTick* tick = static_cast<const TimerTick*>(data);
  WindowTimer(MainWindowPort(tick->window), tick->timerId);
  return G_SOURCE_CONTINUE;
}

void DeleteTimerTick(gpointer data) { delete static_cast<TimerTick*>(data); }

void StopTimer(void* window, uint32_t timerId) {
  MainWindow* record = RecordOf(window);
  const auto found = record->timers.find(timerId);
  if (found == record->timers.end()) return;
  g_source_remove(found->second);
  record->timers.erase(found);
}

// Starting a timer that runs already restarts it with the new period.
void StartTimer(void* window, uint32_t timerId, uint32_t periodMilliseconds) {
  MainWindow* record = RecordOf(window);
  StopTimer(window, timerId);
  record->timers[timerId] = g_timeout_add_full(G_PRIORITY_DEFAULT, periodMilliseconds, OnTimer,
                                               new TimerTick{record, timerId}, DeleteTimerTick);
}

void Invalidate(void* window) { gtk_widget_queue_draw(RecordOf(window)->drawingArea); }

// The client area as the window shows it: the image of its last paint. A
// fresh paint would advance the placeholder's blink and could show newer
// sweep data than the screen. Before the first paint nothing is shown, so
// nothing is written.
void TakeScreenshot(void* window) {
  cairo_surface_t* image = RecordOf(window)->shownPicture;
  if (image == nullptr) return;
  const PixelRows rows{cairo_image_surface_get_data(image), cairo_image_surface_get_width(image),
                       cairo_image_surface_get_height(image), cairo_image_surface_get_stride(image)};
  std::string name;
  SaveScreenshotFile(rows, &name);
}

void DeleteFonts(void*) { DestroyDisplayFonts(); }

void DiscardMeasurementNotices(void*) { DropMeasurementNotices(); }

void EndWindow(void* window, int result) {
  MainWindow* record = RecordOf(window);
  record->ended = true;
  record->result = result;
  if (gtk_main_level() > 0) gtk_main_quit();
}

// Events ----------------------------------------------------------------------

void OnMenuItemActivate(GtkMenuItem* item, gpointer window) {
  const uint32_t command = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kCommandKey));
  if (GTK_IS_CHECK_MENU_ITEM(item)) {
    // GTK has flipped the mark before this handler runs; the behaviour
    // decides the marks itself (a toggle from the mark it finds), so the
    // mark goes back to what the user saw.
    GtkCheckMenuItem* check = GTK_CHECK_MENU_ITEM(item);
    SetMark(RecordOf(window), GTK_WIDGET(item), !gtk_check_menu_item_get_active(check),
            gtk_check_menu_item_get_draw_as_radio(check) != FALSE);
  }
  WindowCommand(MainWindowPort(RecordOf(window)), command);
}

// Every paint shows a new picture of the client area and keeps it for the
// screenshot, so the screen and the file hold the same pixels. On a scaled
// screen the picture's pixels are enlarged whole.
gboolean OnDraw(GtkWidget* area, cairo_t* cr, gpointer window) {
  const int width = gtk_widget_get_allocated_width(area);
  const int height = gtk_widget_get_allocated_height(area);
  if (width <= 0 || height <= 0) return TRUE;
  cairo_surface_t* image = PaintClientPictureImage(width, height);
  if (image == nullptr) return TRUE;
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  MainWindow* record = RecordOf(window);
  if (record->shownPicture != nullptr) cairo_surface_destroy(record->shownPicture);
  record->shownPicture = image;
  return TRUE;
}

// The close box (or the desktop's close request): the behaviour stops the
// sweep and ends the window; the window itself is destroyed after the loop.
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer window) {
  WindowClose(MainWindowPort(RecordOf(window)));
  return TRUE;
}

void OnDestroy(GtkWidget*, gpointer window) {
  MainWindow* record = RecordOf(window);
  WindowDestroyed(MainWindowPort(record));
  for (const auto& timer : record->timers) g_source_remove(timer.second);
  record->timers.clear();
}

void OnMeasurementNotice(void* window) { WindowMeasurementDone(MainWindowPort(RecordOf(window))); }

// Building ----------------------------------------------------------------------

GtkWidget* AddPopup(GtkWidget* parent, const char* label) {
  GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(parent), item);
  return menu;
}

// A command item: a check item unless it is a plain command.
void AddItem(MainWindow* window, GtkWidget* menu, const char* label, uint32_t command, bool checked,
             bool checkable = true) {
  GtkWidget* item =
      checkable ? gtk_check_menu_item_new_with_mnemonic(label) : gtk_menu_item_new_with_mnemonic(label);
  if (checkable) gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), checked);
  g_object_set_data(G_OBJECT(item), kCommandKey, GUINT_TO_POINTER(command));
  g_signal_connect(item, "activate", G_CALLBACK(OnMenuItemActivate), window);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  window->menuItems[command] = item;
}

// The menu with its marks at start, which show the default settings: 1 KB
// block step, 2 MB test area, power-saving defeat on, 2 s refresh.
void BuildMenu(MainWindow* window) {
  window->menuBar = gtk_menu_bar_new();
  GtkWidget* settings = AddPopup(window->menuBar, "_Einstellungen");
  GtkWidget* blockStep = AddPopup(settings, "_Block-Schrittweite");
  AddItem(window, blockStep, "1 KB", IDM_BLOCK_STEP_1KB, true);
  AddItem(window, blockStep, "2 KB", IDM_BLOCK_STEP_1KB + 1, false);
  AddItem(window, blockStep, "4 KB", IDM_BLOCK_STEP_1KB + 2, false);
  AddItem(window, blockStep, "8 KB", IDM_BLOCK_STEP_1KB + 3, false);
  AddItem(window, blockStep, "16 KB", IDM_BLOCK_STEP_16KB, false);
  GtkWidget* testArea = AddPopup(settings, "Testbereichsgröße");
  AddItem(window, testArea, "1 MB", IDM_TEST_AREA_1MB, false);
  AddItem(window, testArea, "2 MB", IDM_TEST_AREA_1MB + 1, true);
  AddItem(window, testArea, "4 MB", IDM_TEST_AREA_1MB + 2, false);
  AddItem(window, testArea, "8 MB", IDM_TEST_AREA_8MB, false);
  AddItem(window, settings, "Energiesparmodus austricksen", IDM_POWER_DEFEAT, true);
  AddItem(window, settings, "Schnelle ungenaue Messung", IDM_FAST_MEASUREMENT, false);

  GtkWidget* view = AddPopup(window->menuBar, "_Ansicht");
  GtkWidget* refresh = AddPopup(view, "_Aktualisierungsrate");
  AddItem(window, refresh, "1 Sekunde", IDM_REFRESH_1S, false);
  AddItem(window, refresh, "2 Sekunden", IDM_REFRESH_1S + 1, true);
  AddItem(window, refresh, "4 Sekunden", IDM_REFRESH_1S + 2, false);
  AddItem(window, refresh, "8 Sekunden", IDM_REFRESH_1S + 3, false);
  AddItem(window, refresh, "Sofort", IDM_REFRESH_NOW, false);
  AddItem(window, view, "_Cachebereiche anzeigen", IDM_CACHE_REGIONS, false);
  AddItem(window, view, "_Screenshot erstellen", IDM_SCREENSHOT, false, false);
}

void SetIcon(GtkWidget* window) {
  GList* icons = nullptr;
  for (int i = 0; i < kProgramIconImageCount; ++i) {
    const ProgramIconImage& image = kProgramIconImages[i];
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, image.size, image.size);
    if (pixbuf == nullptr) continue;
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < image.size; ++y) {
      for (int x = 0; x < image.size; ++x) {
        const uint32_t p = image.pixels[y * image.size + x];
        guchar* out = pixels + y * stride + 4 * x;
        out[0] = static_cast<guchar>(p >> 16);
        out[1] = static_cast<guchar>(p >> 8);
        out[2] = static_cast<guchar>(p);
        out[3] = static_cast<guchar>(p >> 24);
      }
    }
    icons = g_list_append(icons, pixbuf);
  }
  gtk_window_set_icon_list(GTK_WINDOW(window), icons);
  g_list_free_full(icons, g_object_unref);
}

// The screen's resolution for fonts, as the window's device context reports
// it on Windows; 96 where none is set.
int ScreenDotsPerInch() {
  const double resolution = gdk_screen_get_resolution(gdk_screen_get_default());
  return resolution > 0 ? static_cast<int>(std::lround(resolution)) : 96;
}

}  // namespace

WindowPort MainWindowPort(MainWindow* window) {
  WindowPort port;
  port.window = window;
  port.IsMenuItemChecked = IsMenuItemChecked;
  port.CheckMenuItem = CheckItem;
  port.CheckMenuRadioItem = CheckRadioItem;
  port.StartTimer = StartTimer;
  port.KillTimer = StopTimer;
  port.Invalidate = Invalidate;
  port.SaveScreenshot = TakeScreenshot;
  port.DeleteFonts = DeleteFonts;
  port.DiscardMeasurementNotices = DiscardMeasurementNotices;
  port.EndWindow = EndWindow;
  return port;
}

MainWindow* CreateMainWindow() {
  MainWindow* record = new MainWindow();
  record->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(record->window);
  gtk_window_set_title(window, "Lorvanta");
  SetIcon(record->window);
  BuildMenu(record);
  record->drawingArea = gtk_drawing_area_new();
  gtk_widget_set_hexpand(record->drawingArea, TRUE);
  gtk_widget_set_vexpand(record->drawingArea, TRUE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), record->menuBar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), record->drawingArea, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);

  // The client area of the Windows dialog (456 x 276 dialog units of 8-point
  // MS Shell Dlg, 684 x 449 pixels at 96 DPI), below the menu bar; it grows
  // with the screen's resolution as the dialog's units do.
  const int dotsPerInch = ScreenDotsPerInch();
  int menuHeight = 0;
  gtk_widget_show_all(box);
  gtk_widget_get_preferred_height(record->menuBar, nullptr, &menuHeight);
  gtk_window_set_default_size(window, kWindowClientWidth * dotsPerInch / 96,
                              kWindowClientHeight * dotsPerInch / 96 + menuHeight);
  gtk_window_move(window, 0, 0);

  g_signal_connect(record->drawingArea, "draw", G_CALLBACK(OnDraw), record);
  g_signal_connect(record->window, "delete-event", G_CALLBACK(OnDeleteEvent), record);
  g_signal_connect(record->window, "destroy", G_CALLBACK(OnDestroy), record);
  SetMeasurementNoticeHandler(OnMeasurementNotice);

  CreateDisplayFonts(dotsPerInch);
  WindowOpened(MainWindowPort(record));
  return record;
}

void DestroyMainWindow(MainWindow* window) {
  gtk_widget_destroy(window->window);
  SetMeasurementNoticeHandler(nullptr);
  if (window->shownPicture != nullptr) cairo_surface_destroy(window->shownPicture);
  delete window;
}

int RunMainWindow() {
  MainWindow* window = CreateMainWindow();
  gtk_widget_show(window->window);
  gtk_main();
  const int result = window->result;
  DestroyMainWindow(window);
  return result;
}
