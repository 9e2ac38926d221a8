#include "app/win32/dialog.h"

#include "app/win32/resource.h"
#include "app/window.h"
#include "display/client_area.h"
#include "measure/sweep.h"
#include "platform/win32/gdi_canvas.h"
#include "record/state.h"

static_assert(WM_MEASUREMENT_DONE == WM_APP, "the completion notice is the first private message");

namespace {

HWND WindowOf(void* window) { return static_cast<HWND>(window); }

// The window port -------------------------------------------------------------

bool IsMenuItemChecked(void* window, uint32_t id) {
  return (GetMenuState(GetMenu(WindowOf(window)), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void CheckItem(void* window, uint32_t id, bool checked) {
  CheckMenuItem(GetMenu(WindowOf(window)), id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void CheckRadioItem(void* window, uint32_t first, uint32_t last, uint32_t id) {
  CheckMenuRadioItem(GetMenu(WindowOf(window)), first, last, id, MF_BYCOMMAND);
}

void StartTimer(void* window, uint32_t timerId, uint32_t periodMilliseconds) {
  SetTimer(WindowOf(window), timerId, periodMilliseconds, nullptr);
}

void StopTimer(void* window, uint32_t timerId) { KillTimer(WindowOf(window), timerId); }

void Invalidate(void* window) { InvalidateRect(WindowOf(window), nullptr, TRUE); }

void TakeScreenshot(void* window) {
  const HWND hwnd = WindowOf(window);
  const HDC dc = GetDC(hwnd);
  UpdateWindow(hwnd);  // paints a pending update now, so the picture is current
  SaveScreenshot(dc);
  ReleaseDC(hwnd, dc);
}

void DeleteFonts(void*) { DestroyGdiDisplayFonts(); }

void DiscardMeasurementNotices(void* window) {
  MSG message;
  while (PeekMessageW(&message, WindowOf(window), WM_MEASUREMENT_DONE, WM_MEASUREMENT_DONE, PM_REMOVE)) {
  }
}

void EndWindow(void* window, int result) { EndDialog(WindowOf(window), result); }

WindowPort PortFor(HWND window) {
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

// Messages ------------------------------------------------------------------

Rect ClientRect(HWND window) {
  RECT client{0, 0, 0, 0};
  GetClientRect(window, &client);
  return Rect{client.left, client.top, client.right, client.bottom};
}

void OnInitDialog(HWND window) {
  const HDC dc = GetDC(window);
  const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  // Every change of the window's size repaints the whole client area.
  SetClassLongW(window, GCL_STYLE, GetClassLongW(window, GCL_STYLE) | CS_HREDRAW | CS_VREDRAW);
  SetWindowRgn(window, nullptr, TRUE);
  CreateGdiDisplayFonts(GetDeviceCaps(dc, LOGPIXELSY));
  ReleaseDC(window, dc);
  WindowOpened(PortFor(window));
}

void PaintClientArea(HWND window, HDC dc) {
  GdiCanvasState state;
  Canvas canvas = BeginGdiCanvas(dc, &state);
  PaintClientArea(canvas, ClientRect(window));
  EndGdiCanvas(canvas);
}

void OnPaint(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    PaintClientArea(window, dc);
    EndPaint(window, &paint);
  } else {
    const HDC dc = GetDC(window);
    PaintClientArea(window, dc);
    ReleaseDC(window, dc);
  }
}

void OnEraseBackground(HWND window, HDC dc) {
  GdiCanvasState state;
  Canvas canvas = BeginGdiCanvas(dc, &state);
  EraseClientBackground(canvas, ClientRect(window));
  EndGdiCanvas(canvas);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;  // no controls, so no focus to set
    case WM_TIMER:
      WindowTimer(PortFor(window), static_cast<uint32_t>(wParam));
      return 0;
    case WM_MEASUREMENT_DONE:
      WindowMeasurementDone(PortFor(window));
      return 0;
    case WM_PAINT:
      OnPaint(window);
      return 0;
    case WM_ERASEBKGND:
      OnEraseBackground(window, reinterpret_cast<HDC>(wParam));
      return 1;
    case WM_COMMAND:
      WindowCommand(PortFor(window), LOWORD(wParam));
      return 0;
    case WM_CLOSE:
      WindowClose(PortFor(window));
      return 0;
    case WM_DESTROY:
      WindowDestroyed(PortFor(window));
      return 0;
    default:
      return 0;
  }
}

// The sweep's completion notice, from the sweep's thread. Posted: the notice
// waits in the window's queue until the window takes it, however busy the
// window is, and the sweep's thread goes on at once. A timed send would
// either wait for the window (Wine treats a 0 ms time-out as none) or, once
// its time-out expires, be withdrawn unseen, and the window would never
// start another sweep. A notice still queued when a stop overtakes its sweep
// is removed by DiscardMeasurementNotices.
void NotifyMeasurementDone(void* window) { PostMessageW(WindowOf(window), WM_MEASUREMENT_DONE, 0, 0); }
