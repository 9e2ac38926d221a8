// The main window on GTK 3: a toplevel "Lorvanta" with the menu bar and a
// drawing area for the client area. It only translates GTK's events (menu
// activations, timeouts, the sweep's notice, delete and destroy) into the
// window behaviour of app/window.h and gives that behaviour its WindowPort.
#pragma once
#include <gtk/gtk.h>

#include <cstdint>
#include <map>

#include "app/window.h"

struct MainWindow {
  GtkWidget* window = nullptr;
  GtkWidget* menuBar = nullptr;
  GtkWidget* drawingArea = nullptr;     // the client area
  std::map<uint32_t, GtkWidget*> menuItems;  // command ID -> its menu item
  std::map<uint32_t, guint> timers;          // timer ID -> running GLib source
  cairo_surface_t* shownPicture = nullptr;   // the image of the last paint, as on the screen
  bool ended = false;                        // EndWindow was called
  int result = 0;                            // and its result
};

// Builds the window (not yet shown), creates the display fonts for the
// screen's resolution and opens the window behaviour (result arrays, timers).
// Needs GTK initialised and the machine probed.
MainWindow* CreateMainWindow();

// The window's port for the behaviour calls.
WindowPort MainWindowPort(MainWindow* window);

// Destroys the window (the behaviour's destroy runs) and frees the record.
void DestroyMainWindow(MainWindow* window);

// Creates and shows the window and runs the main loop until the window is
// ended; then destroys it. Returns the result the window ended with.
int RunMainWindow();
