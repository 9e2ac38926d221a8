// The Win32 sweep-completion notice: every notice a sweep thread sends must
// reach the window, even when the window's thread is busy at that moment
// (one lost notice would stop the sweeps for good), and sending it must not
// wait for the window.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/window.h"
#include "measure/sweep.h"

namespace {

std::atomic<int> noticesReceived{0};
WPARAM lastWParam = 1;
LPARAM lastLParam = 1;

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MEASUREMENT_DONE) {
    ++noticesReceived;
    lastWParam = wParam;
    lastLParam = lParam;
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateCountingWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"LorvantaNoticeTest";
  RegisterClassW(&windowClass);
  // A message-only window: needs no display.
  return CreateWindowW(L"LorvantaNoticeTest", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, windowClass.hInstance,
                       nullptr);
}

void PumpFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  MSG message;
  while (GetTickCount() - start < milliseconds) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    Sleep(1);
  }
}

TEST(Win32Notice, NoticesNeitherWaitForABusyWindowNorGetLostAndCarryNoParameters) {
  const HWND window = CreateCountingWindow();
  ASSERT_NE(window, nullptr);
  noticesReceived = 0;
  constexpr int kNotices = 200;
  std::atomic<int> sent{0};
  std::thread sender([&] {
    for (int i = 0; i < kNotices; ++i) {
      NotifyMeasurementDone(window);
      ++sent;
      Sleep(i % 3);
    }
  });
  // The window's thread is busy and looks at no message, as during a long
  // paint: the sweep threads must still be able to finish.
  const DWORD start = GetTickCount();
  while (sent < kNotices && GetTickCount() - start < 10000) Sleep(10);
  EXPECT_EQ(sent.load(), kNotices) << "a notice waits for the window to take it";
  EXPECT_EQ(noticesReceived.load(), 0);
  // Once the window gets to its messages, every notice is there.
  while ((sent < kNotices || noticesReceived < sent) && GetTickCount() - start < 20000) PumpFor(5);
  sender.join();
  PumpFor(100);
  EXPECT_EQ(noticesReceived.load(), kNotices);
  EXPECT_EQ(lastWParam, 0u);  // the completion message carries no parameters
  EXPECT_EQ(lastLParam, 0);
  DestroyWindow(window);
}

}  // namespace
