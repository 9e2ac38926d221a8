#include "app/win32_survey/survey_frame.h"

#include <commdlg.h>

#include <string>

#include "app/survey_window/survey_window.h"
#include "app/win32_survey/survey_resource.h"
#include "platform/win32/gdi_canvas.h"

static_assert(IDM_SURVEY_START == kSurveyStart && IDM_SURVEY_STOP == kSurveyStop &&
                  IDM_SURVEY_SAVE_PICTURE == kSurveySavePicture && IDM_SURVEY_SAVE_CSV == kSurveySaveCsv &&
                  IDM_SURVEY_SAVE_JSON == kSurveySaveJson && IDM_SURVEY_QUIT == kSurveyQuit &&
                  IDM_SURVEY_HUGE_PAGES == kSurveyHugePages && IDM_SURVEY_LATENCY == kSurveyLatency,
              "the resource script's command numbers are the behaviour's commands");

namespace {

const wchar_t kClassName[] = L"LorvantaSurveyWindow";

struct SurveyFrame {
  HWND window = nullptr;
  SurveyWindow behaviour;
  int result = 0;
};

HWND WindowOf(void* frame) { return static_cast<SurveyFrame*>(frame)->window; }

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(length, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Utf8(const wchar_t* wide) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string text(length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, nullptr, nullptr);
  text.pop_back();  // the terminating zero
  return text;
}

// The window port ---------------------------------------------------------------

void InvalidateFrame(void* frame) { InvalidateRect(WindowOf(frame), nullptr, FALSE); }

void StartFrameTimer(void* frame, uint32_t timerId, uint32_t periodMilliseconds) {
  SetTimer(WindowOf(frame), timerId, periodMilliseconds, nullptr);
}

void StopTimer(void* frame, uint32_t timerId) { KillTimer(WindowOf(frame), timerId); }

void EnableItem(void* frame, uint32_t command, bool enabled) {
  EnableMenuItem(GetMenu(WindowOf(frame)), command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void CheckItem(void* frame, uint32_t command, bool checked) {
  CheckMenuItem(GetMenu(WindowOf(frame)), command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

// The system's save dialog, asking before an existing file is replaced; the
// chosen path in UTF-8, as the file functions take it.
bool RunSaveDialog(void* frame, SurveyFileKind kind, const std::string& name, std::string* path) {
  static const wchar_t* const titles[] = {L"Save the picture", L"Save the CSV", L"Save the JSON"};
  static const wchar_t* const filters[] = {L"PNG picture (*.png)\0*.png\0All files (*.*)\0*.*\0",
                                           L"CSV table (*.csv)\0*.csv\0All files (*.*)\0*.*\0",
                                           L"JSON report (*.json)\0*.json\0All files (*.*)\0*.*\0"};
  static const wchar_t* const extensions[] = {L"png", L"csv", L"json"};
  wchar_t file[MAX_PATH] = {};
  const std::wstring proposed = Wide(name);
  proposed.copy(file, MAX_PATH - 1);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = WindowOf(frame);
  dialog.lpstrFilter = filters[kind];
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = titles[kind];
  dialog.lpstrDefExt = extensions[kind];
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetSaveFileNameW(&dialog)) return false;
  *path = Utf8(file);
  return !path->empty();
}

void ShowErrorBox(void* frame, const std::string& message) {
  MessageBoxW(WindowOf(frame), Wide(message).c_str(), L"Lorvanta Survey", MB_OK | MB_ICONERROR);
}

void SetFrameTitle(void* frame, const std::string& title) { SetWindowTextW(WindowOf(frame), Wide(title).c_str()); }

// Ends the window: destroyed now, the message loop ends with result.
void DestroyFrame(void* frame, int result) {
  static_cast<SurveyFrame*>(frame)->result = result;
  DestroyWindow(WindowOf(frame));
}

SurveyWindowPort PortOf(SurveyFrame* frame) {
  return SurveyWindowPort{frame,       InvalidateFrame, StartFrameTimer, StopTimer, EnableItem, CheckItem,
                          RunSaveDialog, ShowErrorBox,  SetFrameTitle,   DestroyFrame};
}

// Building -----------------------------------------------------------------------

// A submenu of radio items, one per choice, their commands first + index.
template <typename Choice>
HMENU ChoiceMenu(const Choice* choices, uint32_t count, uint32_t first) {
  const HMENU menu = CreatePopupMenu();
  for (uint32_t index = 0; index < count; ++index) {
    MENUITEMINFOW item = {};
    const std::wstring label = Wide(choices[index].label);
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    item.fType = MFT_RADIOCHECK;
    item.wID = first + index;
    item.dwTypeData = const_cast<wchar_t*>(label.c_str());
    InsertMenuItemW(menu, index, TRUE, &item);
  }
  return menu;
}

// Settings' first three submenus, from the behaviour's choice tables.
void InsertChoiceMenus(HMENU bar) {
  const HMENU settings = GetSubMenu(bar, SURVEY_SETTINGS_MENU_POSITION);
  InsertMenuW(settings, 0, MF_BYPOSITION | MF_POPUP,
              reinterpret_cast<UINT_PTR>(ChoiceMenu(surveyThreadChoices, surveyThreadChoiceCount, kSurveyThreadsFirst)),
              L"&Threads");
  InsertMenuW(settings, 1, MF_BYPOSITION | MF_POPUP,
              reinterpret_cast<UINT_PTR>(ChoiceMenu(surveyIsaChoices, surveyIsaChoiceCount, kSurveyIsaFirst)),
              L"&Instruction sets");
  InsertMenuW(settings, 2, MF_BYPOSITION | MF_POPUP,
              reinterpret_cast<UINT_PTR>(ChoiceMenu(surveySizeChoices, surveySizeChoiceCount, kSurveySizeFirst)),
              L"&Largest size");
  InsertMenuW(settings, 3, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
}

// Painting ---------------------------------------------------------------------------

// Paints the whole client area into a bitmap and copies it to the screen at
// once, so a repaint never shows a half-drawn picture. The display fonts are
// made for each paint: saving a picture makes and deletes fonts of its own in
// the same place.
void OnPaint(SurveyFrame* frame) {
  PAINTSTRUCT paint;
  const HDC screen = BeginPaint(frame->window, &paint);
  RECT client;
  GetClientRect(frame->window, &client);
  const int width = client.right, height = client.bottom;
  if (width > 0 && height > 0) {
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    CreateGdiDisplayFonts(GetDeviceCaps(screen, LOGPIXELSY));
    GdiCanvasState state;
    Canvas canvas = BeginGdiCanvas(memory, &state);
    PaintSurveyWindow(frame->behaviour, canvas, Rect{0, 0, width, height});
    EndGdiCanvas(canvas);
    DestroyGdiDisplayFonts();
    BitBlt(screen, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
  }
  EndPaint(frame->window, &paint);
}

// Messages ---------------------------------------------------------------------------

LRESULT CALLBACK SurveyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SurveyFrame* frame = static_cast<SurveyFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    frame->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
  }
  SurveyFrame* frame = reinterpret_cast<SurveyFrame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (frame == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_COMMAND:
      SurveyWindowCommand(frame->behaviour, LOWORD(wParam));
      return 0;
    case WM_TIMER:
      SurveyWindowTimer(frame->behaviour, static_cast<uint32_t>(wParam));
      return 0;
    case WM_PAINT:
      OnPaint(frame);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole client area
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = POINT{360, 280};
      return 0;
    case WM_CLOSE:
      SurveyWindowClose(frame->behaviour);
      return 0;
    case WM_DESTROY:
      SurveyWindowDestroyed(frame->behaviour);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      PostQuitMessage(frame->result);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterSurveyClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = SurveyWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SURVEY));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SURVEY), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.lpszClassName = kClassName;
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

int RunSurveyFrame(HINSTANCE instance, int showCommand) {
  if (!RegisterSurveyClass(instance)) return 1;
  SurveyFrame* frame = new SurveyFrame();
  frame->behaviour.port = PortOf(frame);
  const HMENU bar = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_SURVEY_MENU));
  InsertChoiceMenus(bar);
  const HWND window = CreateWindowExW(0, kClassName, L"Lorvanta Survey", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, 1000, 720, nullptr, bar, instance, frame);
  if (window == nullptr) {
    DestroyMenu(bar);
    delete frame;
    return 1;
  }
  SurveyWindowOpened(frame->behaviour);
  ShowWindow(window, showCommand);
  UpdateWindow(window);

  const HACCEL keys = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_SURVEY_KEYS));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // The keys act for the main window only, not inside the save dialog or a
    // message box, which run loops of their own.
    if (TranslateAcceleratorW(window, keys, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  delete frame;
  return static_cast<int>(message.wParam);
}
