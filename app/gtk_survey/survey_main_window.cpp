#include "app/gtk_survey/survey_main_window.h"

#include <string>

#include "app/gtk_survey/survey_icon.h"
#include "platform/cairo/cairo_canvas.h"

namespace {

SurveyMainWindow* RecordOf(void* window) { return static_cast<SurveyMainWindow*>(window); }

const char kCommandKey[] = "lorvanta-survey-command";

void OnMenuItemActivate(GtkMenuItem* item, gpointer window);

// Sets a check mark from the program, with the item's handler held back so
// the change is not taken for the user's choice.
void SetMark(SurveyMainWindow* window, GtkWidget* item, bool checked) {
  g_signal_handlers_block_by_func(item, reinterpret_cast<gpointer>(OnMenuItemActivate), window);
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), checked);
  g_signal_handlers_unblock_by_func(item, reinterpret_cast<gpointer>(OnMenuItemActivate), window);
}

// The window port ---------------------------------------------------------------

GtkWidget* ItemOf(void* window, uint32_t command) {
  const auto found = RecordOf(window)->menuItems.find(command);
  return found == RecordOf(window)->menuItems.end() ? nullptr : found->second;
}

void QueueDraw(void* window) { gtk_widget_queue_draw(RecordOf(window)->drawingArea); }

gboolean OnRepaintTimer(gpointer window) {
  SurveyWindowTimer(RecordOf(window)->behaviour, kSurveyRepaintTimer);
  return G_SOURCE_CONTINUE;
}

void RemoveRepaintTimer(void* window, uint32_t) {
  SurveyMainWindow* record = RecordOf(window);
  if (record->repaintSource != 0) g_source_remove(record->repaintSource);
  record->repaintSource = 0;
}

// The behaviour has one timer; starting it again restarts it.
void AddRepaintTimer(void* window, uint32_t timerId, uint32_t periodMilliseconds) {
  RemoveRepaintTimer(window, timerId);
  RecordOf(window)->repaintSource = g_timeout_add(periodMilliseconds, OnRepaintTimer, window);
}

void EnableItem(void* window, uint32_t command, bool enabled) {
  GtkWidget* item = ItemOf(window, command);
  if (item != nullptr) gtk_widget_set_sensitive(item, enabled);
}

void CheckItem(void* window, uint32_t command, bool checked) {
  GtkWidget* item = ItemOf(window, command);
  if (item != nullptr && GTK_IS_CHECK_MENU_ITEM(item)) SetMark(RecordOf(window), item, checked);
}

// The system's save dialog; GTK asks before an existing file is replaced.
bool RunSaveDialog(void* window, SurveyFileKind kind, const std::string& name, std::string* path) {
  static const char* const titles[] = {"Save the picture", "Save the CSV", "Save the JSON"};
  static const char* const patterns[] = {"*.png", "*.csv", "*.json"};
  GtkWidget* dialog = gtk_file_chooser_dialog_new(titles[kind], GTK_WINDOW(RecordOf(window)->window),
                                                  GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                                  "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  gtk_file_chooser_set_current_name(chooser, name.c_str());
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_add_pattern(filter, patterns[kind]);
  gtk_file_filter_set_name(filter, patterns[kind]);
  gtk_file_chooser_add_filter(chooser, filter);
  bool chosen = false;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    char* file = gtk_file_chooser_get_filename(chooser);
    if (file != nullptr) *path = file, chosen = true;
    g_free(file);
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

void ShowErrorDialog(void* window, const std::string& message) {
  GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(RecordOf(window)->window), GTK_DIALOG_MODAL,
                                             GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", message.c_str());
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

void SetWindowTitle(void* window, const std::string& title) {
  gtk_window_set_title(GTK_WINDOW(RecordOf(window)->window), title.c_str());
}

void QuitWindow(void* window, int result) {
  SurveyMainWindow* record = RecordOf(window);
  record->ended = true;
  record->result = result;
  if (gtk_main_level() > 0) gtk_main_quit();
}

// Events ---------------------------------------------------------------------------

void OnMenuItemActivate(GtkMenuItem* item, gpointer window) {
  // GTK has flipped a check item's mark already; the behaviour sets the
  // marks itself, so the mark goes back to what the user saw.
  if (GTK_IS_CHECK_MENU_ITEM(item))
    SetMark(RecordOf(window), GTK_WIDGET(item), !gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item)));
  const uint32_t command = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), kCommandKey));
  SurveyWindowCommand(RecordOf(window)->behaviour, command);
}

gboolean OnDraw(GtkWidget* area, cairo_t* cr, gpointer window) {
  const int width = gtk_widget_get_allocated_width(area);
  const int height = gtk_widget_get_allocated_height(area);
  Canvas canvas = BeginCairoCanvas(cr);
  PaintSurveyWindow(RecordOf(window)->behaviour, canvas, Rect{0, 0, width, height});
  EndCairoCanvas(canvas);
  return TRUE;
}

// The close box: the behaviour stops a running survey and ends the window;
// the window itself is destroyed after the loop.
gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer window) {
  SurveyWindowClose(RecordOf(window)->behaviour);
  return TRUE;
}

// Building ---------------------------------------------------------------------------

GtkWidget* AddPopup(GtkWidget* parent, const char* label) {
  GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(parent), item);
  return menu;
}

enum ItemKind { PlainItem, CheckItemKind, RadioItemKind };

GtkWidget* AddItem(SurveyMainWindow* window, GtkWidget* menu, const char* label, uint32_t command,
                   ItemKind kind = PlainItem) {
  GtkWidget* item = kind == PlainItem ? gtk_menu_item_new_with_mnemonic(label)
                                      : gtk_check_menu_item_new_with_mnemonic(label);
  if (kind == RadioItemKind) gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(item), TRUE);
  g_object_set_data(G_OBJECT(item), kCommandKey, GUINT_TO_POINTER(command));
  g_signal_connect(item, "activate", G_CALLBACK(OnMenuItemActivate), window);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  window->menuItems[command] = item;
  return item;
}

void AddKey(GtkWidget* item, GtkAccelGroup* keys, guint key, GdkModifierType modifiers) {
  gtk_widget_add_accelerator(item, "activate", keys, key, modifiers, GTK_ACCEL_VISIBLE);
}

GtkWidget* BuildMenu(SurveyMainWindow* window, GtkAccelGroup* keys) {
  GtkWidget* bar = gtk_menu_bar_new();
  GtkWidget* file = AddPopup(bar, "_File");
  AddKey(AddItem(window, file, "Save _picture...", kSurveySavePicture), keys, GDK_KEY_s, GDK_CONTROL_MASK);
  AddItem(window, file, "Save _CSV...", kSurveySaveCsv);
  AddItem(window, file, "Save _JSON...", kSurveySaveJson);
  gtk_menu_shell_append(GTK_MENU_SHELL(file), gtk_separator_menu_item_new());
  AddKey(AddItem(window, file, "_Quit", kSurveyQuit), keys, GDK_KEY_q, GDK_CONTROL_MASK);

  GtkWidget* survey = AddPopup(bar, "_Survey");
  GtkWidget* start = AddItem(window, survey, "_Start", kSurveyStart);
  AddKey(start, keys, GDK_KEY_r, GDK_CONTROL_MASK);
  gtk_widget_add_accelerator(start, "activate", keys, GDK_KEY_F5, GdkModifierType(0), GtkAccelFlags(0));
  GtkWidget* stop = AddItem(window, survey, "S_top", kSurveyStop);
  AddKey(stop, keys, GDK_KEY_Escape, GdkModifierType(0));
  gtk_widget_add_accelerator(stop, "activate", keys, GDK_KEY_period, GDK_CONTROL_MASK, GtkAccelFlags(0));

  GtkWidget* settings = AddPopup(bar, "Se_ttings");
  GtkWidget* threads = AddPopup(settings, "_Threads");
  for (uint32_t i = 0; i < surveyThreadChoiceCount; ++i)
    AddItem(window, threads, surveyThreadChoices[i].label, kSurveyThreadsFirst + i, RadioItemKind);
  GtkWidget* isa = AddPopup(settings, "_Instruction sets");
  for (uint32_t i = 0; i < surveyIsaChoiceCount; ++i)
    AddItem(window, isa, surveyIsaChoices[i].label, kSurveyIsaFirst + i, RadioItemKind);
  GtkWidget* size = AddPopup(settings, "_Largest size");
  for (uint32_t i = 0; i < surveySizeChoiceCount; ++i)
    AddItem(window, size, surveySizeChoices[i].label, kSurveySizeFirst + i, RadioItemKind);
  AddItem(window, settings, "_Huge pages", kSurveyHugePages, CheckItemKind);
  AddItem(window, settings, "L_atency", kSurveyLatency, CheckItemKind);
  return bar;
}

void SetIcon(GtkWidget* window) {
  GList* icons = nullptr;
  for (int size : {16, 24, 32, 48, 64}) {
    cairo_surface_t* image = DrawSurveyIcon(size);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(image, 0, 0, size, size);
    cairo_surface_destroy(image);
    if (pixbuf != nullptr) icons = g_list_append(icons, pixbuf);
  }
  gtk_window_set_icon_list(GTK_WINDOW(window), icons);
  g_list_free_full(icons, g_object_unref);
}

SurveyWindowPort PortOf(SurveyMainWindow* window) {
  return SurveyWindowPort{window,     QueueDraw, AddRepaintTimer, RemoveRepaintTimer, EnableItem, CheckItem,
                          RunSaveDialog, ShowErrorDialog, SetWindowTitle,   QuitWindow};
}

}  // namespace

int RunSurveyMainWindow() {
  SurveyMainWindow* record = new SurveyMainWindow();
  record->behaviour.port = PortOf(record);
  record->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(record->window);
  gtk_window_set_default_size(window, 1000, 720);
  SetIcon(record->window);
  GtkAccelGroup* keys = gtk_accel_group_new();
  gtk_window_add_accel_group(window, keys);
  GtkWidget* menuBar = BuildMenu(record, keys);
  record->drawingArea = gtk_drawing_area_new();
  gtk_widget_set_size_request(record->drawingArea, 320, 240);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), menuBar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), record->drawingArea, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  g_signal_connect(record->drawingArea, "draw", G_CALLBACK(OnDraw), record);
  g_signal_connect(record->window, "delete-event", G_CALLBACK(OnDeleteEvent), record);

  SurveyWindowOpened(record->behaviour);
  gtk_widget_show_all(record->window);
  gtk_main();
  const int result = record->result;
  SurveyWindowDestroyed(record->behaviour);
  gtk_widget_destroy(record->window);
  g_object_unref(keys);
  delete record;
  return result;
}
