// The survey window on GTK 3: a resizable toplevel with a menu bar (File,
// Survey, Settings, each item reachable by its mnemonic or accelerator) and a
// drawing area painted through the Cairo canvas. It only translates GTK's
// events into the survey window behaviour (app/survey_window/) and gives that
// behaviour its SurveyWindowPort.
#pragma once
#include <gtk/gtk.h>

#include <cstdint>
#include <map>

#include "app/survey_window/survey_window.h"

struct SurveyMainWindow {
  GtkWidget* window = nullptr;
  GtkWidget* drawingArea = nullptr;
  std::map<uint32_t, GtkWidget*> menuItems;  // command -> its menu item
  guint repaintSource = 0;                   // the running timer's GLib source, 0 when none
  SurveyWindow behaviour;
  bool ended = false;
  int result = 0;
};

// Creates and shows the window, runs the main loop until the behaviour ends
// it, destroys it and returns its result. Needs GTK initialised and the
// display fonts created.
int RunSurveyMainWindow();
