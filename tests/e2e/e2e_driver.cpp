// Drives a running Lorvanta.exe through the shared end-to-end scenarios with
// the messages its menu sends; runs under Wine beside the program, in the
// directory the program writes its screenshots to.
// usage: e2e_driver main|stress
// Exit code: 0 when every check passed; 100 when the window never appeared
// or stopped answering.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>

#include "app/window.h"
#include "tests/e2e/scenario.h"

namespace {

HWND window = nullptr;
DWORD processId = 0;

[[noreturn]] void Abort(const char* why) {
  std::printf("FAIL: %s\n", why);
  std::fflush(stdout);
  std::exit(100);
}

void Command(uint32_t id) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_COMMAND, id, 0, SMTO_NORMAL, 30000, &result))
    Abort("the window did not answer a command within 30 s");
}

// The dialog exists before the display shows it, and a capture taken then
// is black: waits for the button face in its client area.
void FindProgramWindow() {
  for (int attempt = 0; attempt < 600 && window == nullptr; ++attempt, Sleep(100))
    window = FindWindowW(MAKEINTATOM(32770), L"Lorvanta");
  if (window == nullptr) Abort("no dialog window with the caption \"Lorvanta\" within 60 s");
  GetWindowThreadProcessId(window, &processId);
  for (int attempt = 0; attempt < 300; ++attempt, Sleep(100)) {
    HDC dc = GetDC(window);
    const bool shown = IsWindowVisible(window) && GetPixel(dc, 1, 1) == GetSysColor(COLOR_BTNFACE);
    ReleaseDC(window, dc);
    if (shown) return;
  }
  Abort("the window did not show its client area within 30 s");
}

}  // namespace

void Act(Action action, int choice) {
  const uint32_t first[] = {IDM_BLOCK_STEP_1KB, IDM_TEST_AREA_1MB, IDM_FAST_MEASUREMENT, IDM_REFRESH_1S,
                            IDM_CACHE_REGIONS,  IDM_SCREENSHOT,    IDM_POWER_DEFEAT,     IDOK};
  Command(first[action] + choice);
  if (action == kEnterAndEscape) Command(IDCANCEL);  // the dialog's Enter is IDOK, its Escape IDCANCEL
}

void Pause(int milliseconds) { Sleep(milliseconds); }

void ClientSize(int* width, int* height) {
  RECT client;
  GetClientRect(window, &client);
  *width = client.right;
  *height = client.bottom;
}

bool Resize(int, int) { return false; }

std::set<long> ProgramThreads() {
  std::set<long> threads;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == processId) threads.insert(static_cast<long>(entry.th32ThreadID));
  CloseHandle(snapshot);
  return threads;
}

void Close() { PostMessageW(window, WM_CLOSE, 0, 0); }

ButtonColours ProgramButtonColours() {
  return {RgbOf(GetSysColor(COLOR_BTNFACE)), RgbOf(GetSysColor(COLOR_BTNSHADOW)),
          RgbOf(GetSysColor(COLOR_BTNHIGHLIGHT))};
}

int main(int argc, char** argv) {
  FindProgramWindow();
  return RunScenario(argc > 1 ? argv[1] : "");
}
