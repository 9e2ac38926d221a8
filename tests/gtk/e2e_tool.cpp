// Drives the running Linux program `lorvanta` through the shared end-to-end
// scenarios as a user would: its menu worked with keys typed by xdotool
// (Alt+mnemonic, arrow keys, Return), the close request sent as a window
// manager's close button does. Checks the window's class and icons first.
// usage: lorvanta_gtk_e2e_tool main|stress PID
// Exit code: 0 when every check passed; 100 when no window appeared.
#include <X11/Xlib.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/cairo/cairo_canvas.h"
#include "tests/e2e/scenario.h"

namespace {

std::string pid;
Display* display = nullptr;
Window window = 0;
int menuHeight = 0;  // the menu bar above the client area

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

std::string Downs(int n) { return n > 0 ? "Down " + Downs(n - 1) : ""; }

bool FindProgramWindow() {
  window = std::strtoul(Output("timeout 30 xdotool search --sync --onlyvisible --name '^Lorvanta$'").c_str(), nullptr, 10);
  if (!Check(window != 0, "a window titled Lorvanta appears within 30 s")) return false;
  Output("xdotool windowfocus --sync " + std::to_string(window));
  Pause(500);
  const std::string properties = Output("xprop -id " + std::to_string(window));
  Check(properties.find("WM_CLASS(STRING) = \"lorvanta\", \"Lorvanta\"") != std::string::npos,
        "window class lorvanta/Lorvanta, as the desktop entry names it");
  bool icons = true;
  for (const char* size : {"16", "24", "32", "48"})
    icons = icons && properties.find(std::string("Icon (") + size + " x " + size + ")") != std::string::npos;
  Check(icons, "window icon in 16, 24, 32 and 48 pixels");
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  menuHeight = attributes.height - 449;
  Check(attributes.width == 684 && menuHeight > 10 && menuHeight < 60,
        "window %dx%d: a client area of 684x449 below a menu bar of %d pixels", attributes.width, attributes.height,
        menuHeight);
  return true;
}

}  // namespace

void Act(Action action, int choice) {
  const std::string keys[] = {"alt+e b " + Downs(choice) + "Return",
                              "alt+e Down Right " + Downs(choice) + "Return",
                              "alt+e Down Down Down Return",
                              "alt+a a " + Downs(choice) + "Return",
                              "alt+a c",
                              "alt+a s",
                              "alt+e Down Down Return",
                              "Return Escape"};
  Output("xdotool key --delay 12 " + keys[action]);
}

void Pause(int milliseconds) { usleep(milliseconds * 1000u); }

void ClientSize(int* width, int* height) {
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  *width = attributes.width;
  *height = attributes.height - menuHeight;
}

bool Resize(int width, int height) {
  Output("xdotool windowsize --sync " + std::to_string(window) + " " + std::to_string(width) + " " +
         std::to_string(height));
  return true;
}

std::string FirstWord(const std::string& path) {
  std::string word;
  std::ifstream(path) >> word;
  return word;
}

// The threads that carry the program's own name: those it starts itself.
// GLib's helper threads name themselves.
std::set<long> ProgramThreads() {
  static const std::string name = FirstWord("/proc/" + pid + "/comm"), dir = "/proc/" + pid + "/task/";
  std::set<long> threads;
  if (DIR* tasks = opendir(dir.c_str())) {
    while (dirent* entry = readdir(tasks))
      if (entry->d_name[0] != '.' && FirstWord(dir + entry->d_name + "/comm") == name)
        threads.insert(std::atol(entry->d_name));
    closedir(tasks);
  }
  return threads;
}

void Close() {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

ButtonColours ProgramButtonColours() {
  return {RgbOf(kButtonFaceColour), RgbOf(kButtonShadowColour), RgbOf(kButtonHighlightColour)};
}

int main(int argc, char** argv) {
  pid = argc > 2 ? argv[2] : "0";
  display = XOpenDisplay(nullptr);
  if (display == nullptr || !FindProgramWindow()) return 100;
  return RunScenario(argc > 1 ? argv[1] : "");
}
