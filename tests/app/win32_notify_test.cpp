// The Win32 sweep-completion notice: sending it must not wait for a busy
// window, and every notice must arrive (one lost notice stops the sweeps).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "app/window.h"
#include "measure/sweep.h"

namespace {
std::atomic<int> received{0};
std::atomic<bool> parametersSeen{false};

LRESULT CALLBACK CountingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_MEASUREMENT_DONE) return DefWindowProcW(window, message, wParam, lParam);
  ++received;
  parametersSeen = parametersSeen || wParam != 0 || lParam != 0;
  return 0;
}

TEST(Win32Notice, NoticesNeitherWaitForABusyWindowNorGetLostAndCarryNoParameters) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = CountingWindowProc;
  windowClass.lpszClassName = L"LorvantaNoticeTest";
  RegisterClassW(&windowClass);
  const HWND window = CreateWindowW(L"LorvantaNoticeTest", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);  // a message-only window: needs no display
  constexpr int kNotices = 200;
  std::atomic<int> sent{0};
  std::thread sender([&] {
    for (int i = 0; i < kNotices; ++i, ++sent) NotifyMeasurementDone(window), Sleep(i % 3);
  });
  // The window's thread looks at no message meanwhile, as during a long paint.
  const DWORD start = GetTickCount();
  while (sent < kNotices && GetTickCount() - start < 10000) Sleep(10);
  EXPECT_EQ(sent.load(), kNotices) << "a notice waits for the window to take it";
  EXPECT_EQ(received.load(), 0);
  MSG message;
  while ((sent < kNotices || received < kNotices) && GetTickCount() - start < 20000)
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) Sleep(1); else DispatchMessageW(&message);
  sender.join();
  Sleep(100);  // then no more than were sent
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  EXPECT_EQ(received.load(), kNotices);
  EXPECT_FALSE(parametersSeen.load());
  DestroyWindow(window);
}
}  // namespace
