#include "MakePassFrame.h"

#include <objbase.h>

#include <algorithm>

#include "CaptionFont.h"
#include "Clipboard.h"
#include "ConfigDialog.h"
#include "KorHelp.h"
#include "zorva.h"

namespace korvel {
namespace {

constexpr char kClassName[] = "KorvelMakePassFrame";
constexpr int kWidth = 300;
constexpr int kComboId = 1;
constexpr int kComboEditId = 1001;
constexpr DWORD kStyle = WS_POPUP | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x808A0000

// The combo's height with its list dropped down.
int ComboHeight() { return 6 * (GetSystemMetrics(SM_CYCAPTION) + 2); }

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// The folder of KOR.EXE, with its closing backslash.
std::string ProgramFolder() {
  char path[MAX_PATH] = "";
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return "";
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

// A DLL of the system folder (never one of that name beside KOR.EXE); null
// when it cannot be loaded.
HMODULE SystemLibrary(const char* name) {
  char folder[MAX_PATH] = "";
  UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder) return nullptr;
  return LoadLibraryA((std::string(folder, length) + "\\" + name).c_str());
}

template <class Function>
Function LibraryFunction(HMODULE library, const char* name) {
  FARPROC function = library ? GetProcAddress(library, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

// ShellExecuteA, which opens the HTML help, or null. shell32.dll and ole32.dll
// and the DLLs they bring are loaded here, at the first help, rather than with
// KOR.EXE: KOR's start does not wait for them. ShellExecute may hand the file
// to shell extensions that are COM objects, so the thread becomes a
// single-threaded apartment first, as Microsoft asks of its callers; it stays
// one until the program ends.
using TShellExecute = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
TShellExecute ShellExecuteFunction() {
  static const TShellExecute function = [] {
    using TCoInitializeEx = HRESULT(WINAPI*)(LPVOID, DWORD);
    if (const auto enter =
            LibraryFunction<TCoInitializeEx>(SystemLibrary("ole32.dll"), "CoInitializeEx"))
      enter(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return LibraryFunction<TShellExecute>(SystemLibrary("shell32.dll"), "ShellExecuteA");
  }();
  return function;
}

// Shows help on a topic (kHelpContents: the contents) for an owner window:
// its page of the HTML help beside KOR.EXE, in the browser.
void ShowHelp(HWND owner, unsigned topic) {
  const std::string page = ProgramFolder() + HelpPage(topic);
  const auto open = ShellExecuteFunction();
  INT_PTR opened = open ? reinterpret_cast<INT_PTR>(
                              open(owner, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL))
                        : 0;
  if (opened <= 32) {  // no browser, or the page is missing
    const std::string text = "The help page " + page + " cannot be opened.";
    MessageBoxA(owner, text.c_str(), "Help", MB_OK | MB_ICONEXCLAMATION);
  }
}

// ZORVA.DLL is loaded at its first use, the first reply or Password Setup,
// not with KOR.EXE: the library's code and start-up are not part of KOR's
// start. It is loaded by its full path in KOR.EXE's folder, where it ships,
// never from the current folder or the search path. An export of the
// library, or null after telling the operator why; the next use tries again.
FARPROC ZorvaFunction(HWND owner, const char* name) {
  static HMODULE library = nullptr;
  if (!library) {
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string file(path, length < sizeof path ? length : 0);
    if (std::size_t slash = file.find_last_of("\\/"); slash != std::string::npos) {
      file.resize(slash + 1);
      library = LoadLibraryA((file + "ZORVA.DLL").c_str());
    }
  }
  FARPROC function = library ? GetProcAddress(library, name) : nullptr;
  if (!function) {
    const std::string text = std::string("ZORVA.DLL ") +
                             (library ? "has no " + std::string(name) : "cannot be loaded") +
                             ": it belongs beside KOR.EXE.";
    MessageBoxA(owner, text.c_str(), "ERROR", MB_OK | MB_ICONEXCLAMATION);
  }
  return function;
}

template <class Function>
Function ZorvaExport(HWND owner, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(ZorvaFunction(owner, name)));
}

}  // namespace

// ---- the challenge input ---------------------------------------------------

TComboEdit::TComboEdit(TMakePassFrame& frame, const TWinPassSettings& settings)
    : Frame(frame), Line(*this, settings, [this](const char* text, char* reply, unsigned length) {
        const auto answer = ZorvaExport<decltype(&ZORVAAutoClientPasswordReply)>(
            EditWindow, "ZORVAAutoClientPasswordReply");
        return answer ? answer(text, reply, length) : 0;
      }) {}

void TComboEdit::Create(HWND parent, int width, int height) {
  // Unsorted: the history keeps the order of insertion, newest first.
  ComboWindow = CreateWindowExA(
      0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, -1,
      -1, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kComboId)),
      GetModuleHandleA(nullptr), nullptr);
  // 255 with the terminating zero: at most 254 characters can be typed.
  SendMessageA(ComboWindow, CB_LIMITTEXT, 254, 0);
  EditWindow = GetDlgItem(ComboWindow, kComboEditId);
  if (!EditWindow) EditWindow = FindWindowExA(ComboWindow, nullptr, "EDIT", nullptr);
  SetWindowLongPtrA(EditWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  EditDefault = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      EditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TComboEdit::EditProc)));
}

LRESULT CALLBACK TComboEdit::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TComboEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_CHAR && self->Line.EvInputChar(static_cast<unsigned>(wParam))) return 0;
  return CallWindowProcA(self->EditDefault, window, message, wParam, lParam);
}

void TComboEdit::SetText(const std::string& text) { SetWindowTextA(EditWindow, text.c_str()); }

std::string TComboEdit::InputText() {
  char buffer[TLineEdit::kBufferLength + 1] = "";
  GetWindowTextA(EditWindow, buffer, sizeof buffer);
  return buffer;
}

void TComboEdit::ClearInput() { SetWindowTextA(EditWindow, ""); }

void TComboEdit::ShowResult(const std::string& reply) {
  MessageBoxA(EditWindow, reply.c_str(), "Result", MB_OK);
}

void TComboEdit::ShowNoPasswordFound() {
  MessageBoxA(EditWindow, "No password found!", "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

void TComboEdit::CopyToClipboard(const std::string& text) {
  PutTextOnClipboard(text, EditWindow);  // a failure is not reported
}

void TComboEdit::InsertHistory(const std::string& challenge) {
  SendMessageA(ComboWindow, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(challenge.c_str()));
}

void TComboEdit::MinimizeMainWindow() { ShowWindow(Frame.Handle(), SW_MINIMIZE); }

// ---- the frame -------------------------------------------------------------

TMakePassFrame::TMakePassFrame(TKorSettings& settings, bool noSplash,
                               std::function<void()> saveSettings)
    : Settings(settings),
      NoSplash(noSplash),
      SaveSettings(std::move(saveSettings)),
      HotKey(settings.EffectiveHotKey()) {
  Input = std::make_unique<TComboEdit>(*this, Settings.Settings);
}

TMakePassFrame::~TMakePassFrame() {
  if (Window) DestroyWindow(Window);
}

bool TMakePassFrame::Create(HINSTANCE instance, HICON icon) {
  Icon = icon;
  WNDCLASSA wc{};
  wc.lpfnWndProc = &TMakePassFrame::WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  DWORD exStyle = WS_EX_WINDOWEDGE | (Settings.Settings.TopmostWindow ? WS_EX_TOPMOST : 0);
  int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - ComboHeight()) / 2;
  Window = CreateWindowExA(exStyle, kClassName, kMainTitle, kStyle, x, y, kWidth, 0, nullptr,
                           nullptr, instance, this);
  if (!Window) return false;
  SetupWindow();
  ShowWindow(Window, SW_SHOWNORMAL);
  UpdateWindow(Window);
  // The operator's typing goes to the input. Closing, the splash hands the
  // activation to the hidden window before the input exists (the focus then
  // goes nowhere, and showing an active window does not set it again) or to
  // another program's window.
  SetForegroundWindow(Window);
  SetFocus(Input->Edit());
  return true;
}

void TMakePassFrame::SetupWindow() {
  // The splash comes first: the input does not exist yet, the window is not shown.
  if (!NoSplash) {
    // Started by the operator, KOR may take the foreground now; this keeps
    // that right past the splash (until the operator's input goes to another
    // program), since closing the splash may hand the activation elsewhere
    // while the window is still hidden.
    AllowSetForegroundWindow(GetCurrentProcessId());
    TSplashDialog splash(TWindow{Window});
    splash.Execute();
  }
  Input->Create(Window, kWidth, ComboHeight());
  SendMessageA(Window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
  SendMessageA(Window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon));

  HMENU menu = GetSystemMenu(Window, FALSE);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdConfigure, "Configure...");
  AppendMenuA(menu, MF_STRING, CmdPasswordSetup, "Password Setup...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdAbout, "About...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdHelp, "Help");

  RECT window, combo;
  GetWindowRect(Window, &window);
  GetWindowRect(Input->Combo(), &combo);
  SetWindowPos(Window, nullptr, window.left, window.top, Width(window),
               Height(combo) + CaptionPixels(), SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);

  if (HotKey != 0) {
    LRESULT answer = SendMessageA(Window, WM_SETHOTKEY, HotKey, 0);
    if (const char* problem = HotKeyProblem(static_cast<long>(answer))) {
      MessageBeep(0xFFFFFFFF);
      MessageBoxA(Window, problem, "HOTKEY!", MB_OK);
    }
  }
}

LRESULT CALLBACK TMakePassFrame::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<TMakePassFrame*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->Window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TMakePassFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  return self->Dispatch(message, wParam, lParam);
}

LRESULT TMakePassFrame::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND: EvSysCommand(wParam, lParam); return 0;
    case WM_ENTERIDLE: EvMenuIdle(wParam); return DefWindowProcA(Window, message, wParam, lParam);
    case WM_COMMAND:
      if (LOWORD(wParam) == kCmExit && lParam == 0) {
        PostMessageA(Window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_SETFOCUS: SetFocus(Input->Edit()); return 0;
    case WM_NCCALCSIZE: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      RECT* client = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                            : reinterpret_cast<RECT*>(lParam);
      client->top += CaptionPixels();
      if (client->bottom < client->top) client->bottom = client->top;
      return result;
    }
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      PaintCaption();
      return message == WM_NCACTIVATE ? TRUE : result;
    }
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      PaintCaption();
      return result;
    }
    case WM_NCHITTEST: {
      POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT window;
      GetWindowRect(Window, &window);
      p.x -= window.left;
      p.y -= window.top;
      RECT caption = CaptionRect();
      if (PtInRect(&caption, p)) {
        RECT menu = SysMenuBox(), minimize = MinimizeBox();
        if (PtInRect(&menu, p)) return HTSYSMENU;
        if (PtInRect(&minimize, p)) return HTMINBUTTON;
        return HTCAPTION;  // dragging the caption moves the window
      }
      break;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam == HTMINBUTTON) {
        PostMessageA(Window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
      }
      break;
    case WM_ENDSESSION:
      // Windows ends the session: the process ends after this message without
      // the message loop's normal end, where the settings would be saved.
      if (wParam && SaveSettings) SaveSettings();
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_NCDESTROY: {
      HWND window = Window;
      Window = nullptr;  // gone: the destructor has nothing left to destroy
      return DefWindowProcA(window, message, wParam, lParam);
    }
    default: break;
  }
  return DefWindowProcA(Window, message, wParam, lParam);
}

void TMakePassFrame::EvSysCommand(WPARAM command, LPARAM point) {
  // The command is compared whole: its low four bits are not masked off.
  switch (command) {
    case CmdConfigure: CmConfigure(); break;
    case CmdPasswordSetup: CmPasswordSetup(); break;
    case CmdAbout: CmAbout(); break;
    case CmdHelp: CmHelp(); break;
    case SC_MAXIMIZE: return;  // never maximized
    case SC_RESTORE:
      if (Settings.Settings.CopyChallengeFromClipboard != 0) PasteChallenge();
      break;
    default: break;
  }
  DefWindowProcA(Window, WM_SYSCOMMAND, command, point);
}

void TMakePassFrame::EvMenuIdle(WPARAM source) {
  if (source == MSGF_MENU && (GetKeyState(VK_F1) & 0x8000)) {
    HelpOnMenu = true;
    PostMessageA(Window, WM_KEYDOWN, VK_RETURN, 0);  // chooses the highlighted item
  }
}

bool TMakePassFrame::HelpTopic(DWORD topic) {
  if (!HelpOnMenu) return false;
  HelpOnMenu = false;
  ShowHelp(Window, topic);
  return true;
}

void TMakePassFrame::CmConfigure() {
  if (HelpTopic(kHelpConfigure)) return;
  // On OK the dialog has written the operator's choices into the record; they
  // take effect as the settings say (some at once, some at the next start).
  TConfigDialog dialog(TWindow{Window}, Settings, [](void* owner, unsigned topic) {
    ShowHelp(static_cast<HWND>(owner), topic);
  });
  dialog.Execute();
}

void TMakePassFrame::CmPasswordSetup() {
  if (HelpTopic(kHelpPasswordSetup)) return;
  if (const auto edit = ZorvaExport<decltype(&ZORVAEditClientPasswordsDlg)>(
          Window, "ZORVAEditClientPasswordsDlg"))
    edit(Window);
}

void TMakePassFrame::CmAbout() {
  if (HelpTopic(kHelpAbout)) return;
  TDialog about(TWindow{Window}, kAboutResource);
  about.Execute();
}

void TMakePassFrame::CmHelp() { ShowHelp(Window, kHelpContents); }

void TMakePassFrame::PasteChallenge() {
  // No more than the input reads: setting a window's text bypasses its limit.
  if (auto text = ClipboardText(Window, TLineEdit::kBufferLength)) Input->SetText(*text);
}

// ---- the tiny caption ------------------------------------------------------

int TMakePassFrame::CaptionPixels() const {
  return GetSystemMetrics(SM_CYCAPTION) * Settings.CaptionHeight / 100;
}

RECT TMakePassFrame::CaptionRect() const {
  RECT window;
  GetWindowRect(Window, &window);
  int border = GetSystemMetrics(SM_CXBORDER);
  return RECT{border, border, Width(window) - border, border + CaptionPixels()};
}

RECT TMakePassFrame::SysMenuBox() const {
  RECT c = CaptionRect();
  return RECT{c.left, c.top, c.left + Height(c), c.bottom};
}

RECT TMakePassFrame::MinimizeBox() const {
  RECT c = CaptionRect();
  return RECT{c.right - Height(c), c.top, c.right, c.bottom};
}

void TMakePassFrame::PaintCaption() {
  HDC dc = GetWindowDC(Window);
  if (!dc) return;
  bool active = GetActiveWindow() == Window;
  RECT caption = CaptionRect();
  FillRect(dc, &caption, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));

  RECT menu = SysMenuBox();
  InflateRect(&menu, -1, -1);
  if (Icon)
    DrawIconEx(dc, menu.left, menu.top, Icon, Width(menu), Height(menu), 0, nullptr, DI_NORMAL);
  RECT minimize = MinimizeBox();
  InflateRect(&minimize, -1, -1);
  // A push-button face with a bar at its foot, drawn here rather than taken
  // from the caption-button font, which not every system has.
  DrawFrameControl(dc, &minimize, DFC_BUTTON, DFCS_BUTTONPUSH);
  int bar = (std::max)(1, Height(minimize) / 8);
  RECT glyph{minimize.left + Width(minimize) / 4, minimize.bottom - 2 * bar - Height(minimize) / 6,
             minimize.right - Width(minimize) / 4, minimize.bottom - bar - Height(minimize) / 6};
  FillRect(dc, &glyph, GetSysColorBrush(COLOR_BTNTEXT));

  char title[128];
  GetWindowTextA(Window, title, sizeof title);
  const LOGFONTA logFont = CaptionLogFont(Height(caption) - 2);
  HFONT font = CreateFontIndirectA(&logFont);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
  RECT text{menu.right + 4, caption.top, minimize.left - 2, caption.bottom};
  DrawTextA(dc, title, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(Window, dc);
}

}  // namespace korvel
