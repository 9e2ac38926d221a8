// The Win32 main window: the dialog procedure of dialog template 101 and the
// screenshot of a window's client area through GDI.
#pragma once
#include <windows.h>

// Translates the dialog's messages into the window behaviour of app/window.h,
// paints the chart and the results panel with GDI, and erases only the
// background around them. Returns 1 for WM_ERASEBKGND, 0 for every other
// message.
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Saves the client area of the window that dc belongs to into the next free
// "screenshot-N.bmp" in the working directory; silent on failure, and a
// failed save leaves no file behind.
void SaveScreenshot(HDC dc);
