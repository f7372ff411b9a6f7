// The floor of KOR's start-up: a program that shows the window KOR shows,
// and nothing else. A popup of KOR's style and width with a drop-down combo
// box, KOR's manifest (common controls of version 6), shown and painted as
// KOR shows it; no settings, no library, no icon. startup_timer.exe measures
// both from process start to visible window (scripts/bench-startup.sh).
#include <windows.h>

namespace {

constexpr char kTitle[] = "Korvel bare window";
constexpr int kWidth = 300;
constexpr DWORD kStyle = WS_POPUP | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = "KorvelBareWindow";
  RegisterClassA(&wc);
  const int comboHeight = 6 * (GetSystemMetrics(SM_CYCAPTION) + 2);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - comboHeight) / 2;
  HWND window = CreateWindowExA(WS_EX_WINDOWEDGE, wc.lpszClassName, kTitle, kStyle, x, y, kWidth,
                                0, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  HWND combo = CreateWindowExA(0, "COMBOBOX", "",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                               -1, -1, kWidth, comboHeight, window, nullptr, instance, nullptr);
  RECT frame, box;
  GetWindowRect(window, &frame);
  GetWindowRect(combo, &box);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, box.bottom - box.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetForegroundWindow(window);
  SetFocus(combo);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
